"""The fault relay's goaway and refuse phases (tests/peers/fault_relay.py),
in front of a real gRPC server (grpcio) that records every request it gets:
a GOAWAY's dropped streams and the refused ones never reach it, the clean
phase after them passes everything, and grpcio's own client, which retries
unprocessed streams, gets every answer through them.

The client that looks at the frames is written here on hyperframe and hpack
(the h2 library's parts): it sends what it is told, whatever it received,
as a client that has not yet read the GOAWAY does."""

import asyncio
import random
import threading
import time

import grpc
import pytest
from hpack import Decoder, Encoder
from hyperframe.frame import (
    DataFrame,
    Frame,
    GoAwayFrame,
    HeadersFrame,
    PingFrame,
    RstStreamFrame,
    SettingsFrame,
)

import fault_relay
import peer_answers
from grpcio_server import PeerServer
from revizer_stubs import METHOD, pb2

REFUSED_STREAM = 0x7
SETTLE_SECONDS = 0.3  # for a stray request to reach the server, had one been let through


class RecordingServer(PeerServer):
    """grpcio, direct, giving the default answer and recording each request's first event id."""

    def __init__(self):
        self.seen = []
        self._lock = threading.Lock()
        super().__init__(self._answer, direct=True)

    def _answer(self, request_bytes, context, server):
        request = pb2.AdjudicatesRequest.FromString(request_bytes)
        with self._lock:
            self.seen.append(request.events[0].event_id)
        yield peer_answers.answer_bytes(request, peer_answers.behaviour_of(request))


@pytest.fixture
def server():
    with RecordingServer() as server:
        yield server


def request_body(event_id):
    request = pb2.AdjudicatesRequest()
    request.events.add(event_id=event_id, trajectory_id="relay-test", agent_id="agent-1",
                       event_type="action", event_name="tool_call")
    message = request.SerializeToString()
    return b"\x00" + len(message).to_bytes(4, "big") + message


class RawClient:
    """An HTTP/2 client that sends gRPC requests and records every frame's outcome."""

    def __init__(self, reader, writer):
        self.reader, self.writer = reader, writer
        self.encoder, self.decoder = Encoder(), Decoder()
        self.next_stream = 1
        self.event_of = {}  # stream id -> event id
        self.status = {}  # stream id -> grpc-status of the trailers
        self.resets = {}  # stream id -> RST_STREAM error code
        self.goaways = []  # last stream ids, in order
        self.closed = False
        self._reading = asyncio.ensure_future(self._read())

    @classmethod
    async def connect(cls, port):
        reader, writer = await asyncio.open_connection("127.0.0.1", port)
        writer.write(fault_relay._PREFACE + SettingsFrame(0).serialize())
        return cls(reader, writer)

    def send(self, event_ids):
        """One request per event id, in a single write; their stream ids."""
        data, streams = [], []
        for event_id in event_ids:
            stream_id, self.next_stream = self.next_stream, self.next_stream + 2
            headers = HeadersFrame(stream_id, flags=["END_HEADERS"])
            headers.data = self.encoder.encode([
                (":method", "POST"), (":scheme", "http"), (":path", METHOD), (":authority", "127.0.0.1"),
                ("te", "trailers"), ("content-type", "application/grpc"), ("grpc-timeout", f"{4000 + stream_id}m"),
            ])
            body = DataFrame(stream_id, request_body(event_id), flags=["END_STREAM"])
            data += [headers.serialize(), body.serialize()]
            self.event_of[stream_id] = event_id
            streams.append(stream_id)
        self.writer.write(b"".join(data))
        return streams

    def ended(self, stream_id):
        return stream_id in self.status or stream_id in self.resets

    async def wait(self, condition, timeout=5.0):
        until = time.monotonic() + timeout
        while not condition():
            if time.monotonic() > until:
                raise AssertionError("timed out waiting for the frames")
            await asyncio.sleep(0.01)

    async def _read(self):
        buffer = b""
        try:
            while data := await self.reader.read(65536):
                buffer += data
                while len(buffer) >= 9:
                    frame, length = Frame.parse_frame_header(memoryview(buffer[:9]))
                    if len(buffer) < 9 + length:
                        break
                    frame.parse_body(memoryview(buffer[9:9 + length]))
                    buffer = buffer[9 + length:]
                    self._on_frame(frame)
        except ConnectionError:
            pass
        self.closed = True

    def _on_frame(self, frame):
        if isinstance(frame, HeadersFrame):
            headers = dict(self.decoder.decode(frame.data))
            if "grpc-status" in headers:
                self.status[frame.stream_id] = headers["grpc-status"]
        elif isinstance(frame, RstStreamFrame):
            self.resets[frame.stream_id] = frame.error_code
        elif isinstance(frame, GoAwayFrame):
            self.goaways.append(frame.last_stream_id)
        elif isinstance(frame, SettingsFrame) and "ACK" not in frame.flags:
            self.writer.write(SettingsFrame(0, flags=["ACK"]).serialize())
        elif isinstance(frame, PingFrame) and "ACK" not in frame.flags:
            self.writer.write(PingFrame(0, frame.opaque_data, flags=["ACK"]).serialize())

    async def close(self):
        self.writer.close()
        await self._reading


def test_framing_passes_every_byte_as_it_came_whatever_the_reads():
    frames = [HeadersFrame(1, b"h" * 40, flags=["END_HEADERS"]), DataFrame(1, b"d" * 70000),
              SettingsFrame(0), DataFrame(3, b""), GoAwayFrame(0)]
    stream = fault_relay._PREFACE + b"".join(frame.serialize() for frame in frames)
    rng = random.Random(7)
    for _ in range(50):
        framing, seen, out, pos = fault_relay._Framing(fault_relay._PREFACE), [], [], 0
        while pos < len(stream):
            step = rng.randint(1, 20000)
            out.append(framing.frames(stream[pos:pos + step], lambda *frame: seen.append(frame[:3]) or True))
            pos += step
        assert b"".join(out) == stream and framing.rest == b""
        # Each read passes whole frames only (the preface, too, whole).
        boundaries = {len(fault_relay._PREFACE)}
        for frame in frames:
            boundaries.add(max(boundaries) + len(frame.serialize()))
        ends = [sum(map(len, out[:i + 1])) for i, piece in enumerate(out) if piece]
        assert set(ends) <= boundaries
        assert seen == [(0x1, 0x4, 1), (0x0, 0x0, 1), (0x4, 0x0, 0), (0x0, 0x0, 3), (0x7, 0x0, 0)]


def run(test):
    asyncio.run(asyncio.wait_for(test(), 30))


def test_goaway_on_a_new_connection_drops_the_streams_above_its_last_stream_id(server):
    async def test():
        settings = fault_relay.FaultSettings(goaway_after=(3, 3), goaway_grace=0.5)
        relay = await fault_relay.FaultRelay.start(server.port, seed=1, settings=settings)
        relay.set_phase("goaway")
        client = await RawClient.connect(relay.port)
        streams = client.send([f"goaway-{i}" for i in range(10)])
        await client.wait(lambda: client.closed)  # closed by the relay after its grace period
        assert client.goaways == [5]
        assert {s: client.status.get(s) for s in streams[:3]} == {1: "0", 3: "0", 5: "0"}
        assert not any(client.ended(s) for s in streams[3:])
        await asyncio.sleep(SETTLE_SECONDS)
        assert sorted(server.seen) == ["goaway-0", "goaway-1", "goaway-2"]
        assert (relay.goaways, relay.dropped) == (1, 7)
        await client.close()
        await relay.close()

    run(test)


def test_goaway_on_an_open_connection_at_the_phase_start(server):
    async def test():
        relay = await fault_relay.FaultRelay.start(server.port, seed=1,
                                                   settings=fault_relay.FaultSettings(goaway_grace=0.5))
        client = await RawClient.connect(relay.port)
        first = client.send(["before"])
        await client.wait(lambda: client.ended(first[0]))
        relay.set_phase("goaway")
        # Sent as by a client that has not read the GOAWAY yet.
        late = client.send(["late-0", "late-1"])
        await client.wait(lambda: client.closed)
        assert client.goaways == [1]
        assert client.status == {1: "0"} and not any(client.ended(s) for s in late)
        await asyncio.sleep(SETTLE_SECONDS)
        assert server.seen == ["before"]
        assert relay.dropped == 2
        await client.close()
        await relay.close()

    run(test)


def test_refuse_resets_streams_that_no_grpc_server_sees_and_the_clean_phase_after_is_clean(server):
    async def test():
        relay = await fault_relay.FaultRelay.start(server.port, seed=3,
                                                   settings=fault_relay.FaultSettings(refuse_chance=0.5))
        await relay.start_peer()
        before = await RawClient.connect(relay.port)
        first = before.send(["before"])
        await before.wait(lambda: before.ended(first[0]))

        relay.set_phase("refuse")
        # The open connection is asked to leave, and loses nothing.
        await before.wait(lambda: before.goaways)
        assert before.goaways == [fault_relay._MAX_STREAM_ID]
        anyway = before.send(["anyway"])
        await before.wait(lambda: before.ended(anyway[0]))
        assert before.status == {1: "0", 3: "0"}

        refusing = await RawClient.connect(relay.port)
        streams = refusing.send([f"refuse-{i}" for i in range(40)])
        await refusing.wait(lambda: all(refusing.ended(s) for s in streams))
        refused = [s for s in streams if s in refusing.resets]
        assert set(refusing.resets.values()) == {REFUSED_STREAM}
        assert all(refusing.status.get(s) == "0" for s in streams if s not in refused)
        assert 0 < len(refused) < len(streams) and relay.refused == len(refused)
        await asyncio.sleep(SETTLE_SECONDS)
        # Answered or refused, the second upstream had them all: none reached the gRPC server.
        assert server.seen == ["before", "anyway"]

        relay.set_phase(fault_relay.BEHAVE)
        await refusing.wait(lambda: refusing.goaways)
        assert refusing.goaways == [fault_relay._MAX_STREAM_ID]
        # A client that ignores it is still answered, and nothing is refused any more.
        more = refusing.send([f"after-refuse-{i}" for i in range(20)])
        await refusing.wait(lambda: all(refusing.ended(s) for s in more))
        assert all(refusing.status.get(s) == "0" for s in more)

        clean = await RawClient.connect(relay.port)
        streams = clean.send([f"clean-{i}" for i in range(20)])
        await clean.wait(lambda: all(clean.ended(s) for s in streams))
        assert all(clean.status.get(s) == "0" for s in streams)
        assert not clean.resets and not clean.goaways
        await asyncio.sleep(SETTLE_SECONDS)
        assert sorted(server.seen) == sorted(["before", "anyway"] + [f"clean-{i}" for i in range(20)])
        assert relay.refused == len(refused)
        for client in (before, refusing, clean):
            await client.close()
        await relay.close()

    run(test)


def test_grpcio_through_goaway_and_refuse(server):
    """grpcio, a real gRPC client, reads the relay's frames as a server's:
    it retries the streams above a GOAWAY's last stream id (once, by its
    rules: hence a GOAWAY after 40 streams here), and each refused stream
    reaches it as RST_STREAM with REFUSED_STREAM (which it does not retry)."""

    async def test():
        settings = fault_relay.FaultSettings(goaway_after=(40, 40), refuse_chance=0.2)
        relay = await fault_relay.FaultRelay.start(server.port, seed=5, settings=settings)
        await relay.start_peer()

        def calls(prefix, count):
            errors = []
            # Connections of this channel's own, closed with it (grpcio shares them between channels otherwise).
            options = [("grpc.use_local_subchannel_pool", 1)]
            with grpc.insecure_channel(f"127.0.0.1:{relay.port}", options=options) as channel:
                method = channel.unary_unary(METHOD)
                futures = [method.future(request_body(f"{prefix}-{i}")[5:], timeout=10) for i in range(count)]
                for future in futures:
                    try:
                        future.result()
                    except grpc.RpcError as error:
                        errors.append(f"{error.code().name}: {error.details()}")
            return errors

        relay.set_phase("goaway")
        assert await asyncio.to_thread(calls, "goaway", 60) == []
        # Each call reached the server once. (Streams sent after the GOAWAY
        # arrived go to a new connection: on a slow machine none may have been
        # dropped; the tests above hold the dropping.)
        assert relay.goaways > 0
        assert sorted(server.seen) == sorted(f"goaway-{i}" for i in range(60))
        relay.set_phase("refuse")
        errors = await asyncio.to_thread(calls, "refuse", 60)
        assert relay.refused > 0 and len(errors) == relay.refused
        assert set(errors) == {"UNAVAILABLE: Stream removed (RST_STREAM (Received RST_STREAM with error code 7))"}
        relay.set_phase(fault_relay.BEHAVE)
        assert await asyncio.to_thread(calls, "behave", 60) == []
        assert sorted(server.seen) == sorted([f"goaway-{i}" for i in range(60)] + [f"behave-{i}" for i in range(60)])
        await relay.close()

    run(test)
