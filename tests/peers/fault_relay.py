"""A TCP relay on 127.0.0.1 in front of a gRPC test server that misbehaves on
a seeded random schedule: phases of one fault each, with "behave" phases in
between in which it relays cleanly. The faults:

  close         each connection is closed (half of them with a reset) a random
                moment after the phase starts or after it was accepted
  stall         connections go silent: nothing is passed either way and the
                client's bytes are no longer read, yet the connection stays
                open; a stalled connection never speaks again (a dead path),
                it is only closed once the client closes it
  delay         every chunk is held for a random time before it is passed on
                (order kept), both ways
  corrupt       chunks are passed on with bytes flipped, both ways
  refuse-close  the open connections are closed as the phase begins (as when
                the server goes away) and new ones are closed at once
  refuse-hold   the same, but new connections are not accepted: they wait in
                the listen backlog and are relayed once the phase ends
  goaway        the server side sends GOAWAY: each open connection gets one
                (NO_ERROR) as the phase begins, and each connection accepted
                in the phase gets one after its first 1 to 10 streams. Its
                last stream id is the highest the relay passed to the server;
                the frames of every stream above it are dropped, so the
                server never sees them (RFC 9113 6.8: not processed). The
                connection is closed once the client closes it, or 5 s later
                (a server's graceful shutdown)
  refuse        some new streams are reset with REFUSED_STREAM and never
                processed: connections accepted in the phase go to a second
                upstream in this process, an HTTP/2 server on h2_peer.py,
                which during the phase refuses a quarter of the new streams
                as their HEADERS arrive (as a server over its stream limit
                does) and gives the others the test servers' default answer.
                The connections open as it begins get a graceful GOAWAY (last
                stream id 2^31-1: nothing is dropped), so that the client
                opens new ones; as it ends, those to the second upstream get
                the same, and it refuses nothing from then on

The other faults apply to the connections open during the phase and to those
accepted in it. A stalled connection is left alone by later faults. The schedule (order and lengths of the phases) is a
function of the seed; what happens inside a phase also depends on timing.

For goaway and refuse the relay follows the HTTP/2 framing (plain h2c with
prior knowledge): it reads the 9-byte frame headers both ways and passes
whole frames, so that a frame of its own lands between two of the peers'.
It reads no header block. Dropping a stream's HEADERS would leave the
server's HPACK table behind the client's, which only matters should a header
block follow on a stream the server has: gRPC clients send none after a
GOAWAY (if one came, the relay would reset the connection). A connection that
is not HTTP/2 in the clear (TLS), and one whose bytes a corrupt phase
flipped, are relayed byte by byte and left alone by these two faults.

Command line (the first line on stdout is the port; then one JSON line per
phase as it starts: {"phase", "kind", "start", "end"}, times on the
system-wide monotonic clock, i.e. time.monotonic() of any local process,
with the relay's counts so far: "accepted", "open", "goaways" and
"graceful_goaways" (sent), "dropped" (streams dropped above a GOAWAY's last
stream id), "refused" (streams reset with REFUSED_STREAM); and a last line
of kind "end" when the schedule is over):

    python fault_relay.py --upstream-port P [--port N] [--seed S] [--duration SECONDS]
                          [--faults close,stall,...] [--fault-seconds 2:4]
                          [--behave-seconds 6:8] [--first-behave-seconds 3]

It stops on SIGTERM or SIGINT, and when its standard input is a pipe or
socket, once that is closed; after the schedule it behaves until stopped.
In-process, inside a running asyncio loop:

    relay = await FaultRelay.start(upstream_port)
    relay.set_phase("stall")      # or: await relay.run_schedule(make_schedule(seed, 60))
    ...
    await relay.close()
"""

import argparse
import asyncio
import json
import os
import random
import signal
import socket
import stat
import struct
import sys
import time
from dataclasses import dataclass

BEHAVE = "behave"
FAULTS = ("close", "stall", "delay", "corrupt", "refuse-close", "refuse-hold", "goaway", "refuse")
END = "end"  # the kind of the line printed once the schedule is over

_CHUNK = 65536
# Chunks held per direction before the reader stops reading (back pressure).
_QUEUE_CHUNKS = 64


@dataclass(frozen=True)
class Phase:
    kind: str
    seconds: float


@dataclass
class FaultSettings:
    close_within: tuple = (0.0, 0.5)  # seconds until a connection is closed in a close phase
    delay: tuple = (0.02, 0.4)  # seconds each chunk is held in a delay phase
    corrupt_chance: float = 0.3  # share of chunks that get flipped bytes
    corrupt_bytes: tuple = (1, 3)  # how many bytes of such a chunk
    goaway_after: tuple = (1, 10)  # streams a connection accepted in a goaway phase gets before its GOAWAY
    goaway_grace: float = 5.0  # seconds after a GOAWAY until the relay closes the connection itself
    refuse_chance: float = 0.25  # share of the streams the second upstream refuses in a refuse phase


# HTTP/2 (RFC 9113): the client's connection preface, frame types and flags.
_PREFACE = b"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n"
_HEADERS, _PRIORITY, _RST_STREAM, _GOAWAY, _CONTINUATION = 0x1, 0x2, 0x3, 0x7, 0x9
_MAX_STREAM_ID = 0x7FFFFFFF
_NO_ERROR = 0x0


def goaway_frame(last_stream_id, error_code=_NO_ERROR):
    return struct.pack(">I", 8)[1:] + bytes((_GOAWAY, 0)) + struct.pack(">III", 0, last_stream_id, error_code)


class _Framing:
    """The frame boundaries of one direction of an HTTP/2 connection: bytes
    go through `frames(data, on_frame)` and come out as whole frames (the
    rest of a partial frame is kept for the next read). `on_frame(type,
    flags, stream_id, buffer, offset)` returns False to drop the frame. Once
    `opaque`, bytes pass as they come."""

    __slots__ = ("rest", "preface", "opaque", "started")

    def __init__(self, preface=b""):
        self.rest = b""
        self.preface = preface  # what must come first (the client's preface), not a frame
        self.opaque = False
        self.started = False  # a whole frame has passed

    def frames(self, data, on_frame):
        if self.opaque:
            if self.rest:
                data, self.rest = self.rest + data, b""
            return data
        buf = self.rest + data if self.rest else data
        pos = 0
        if self.preface:
            if len(buf) < len(self.preface):
                if not self.preface.startswith(buf):
                    self.opaque, self.rest = True, b""
                    return buf
                self.rest = buf
                return b""
            if not buf.startswith(self.preface):
                self.opaque, self.rest = True, b""
                return buf
            pos = len(self.preface)
            self.preface = b""
        kept = []
        start = 0  # of the bytes kept since the last dropped frame
        n = len(buf)
        while pos + 9 <= n:
            end = pos + 9 + ((buf[pos] << 16) | (buf[pos + 1] << 8) | buf[pos + 2])
            if end > n:
                break
            stream_id = int.from_bytes(buf[pos + 5:pos + 9], "big") & _MAX_STREAM_ID
            if not on_frame(buf[pos + 3], buf[pos + 4], stream_id, buf, pos):
                kept.append(buf[start:pos])
                start = end
            pos = end
        if pos:
            self.started = True
        self.rest = buf[pos:]
        if kept:
            kept.append(buf[start:pos])
            return b"".join(kept)
        return buf[start:pos] if start or pos < n else buf


def make_schedule(seed, duration, faults=FAULTS, fault_seconds=(2.0, 4.0), behave_seconds=(6.0, 8.0),
                  first_behave_seconds=3.0):
    """Phases filling `duration` seconds: a behave phase first, then each
    fault followed by a behave phase. The faults come in rounds, each a
    shuffle of all of them, so that every fault shows up once a round."""
    for kind in faults:
        if kind not in FAULTS:
            raise ValueError(f"unknown fault {kind!r}: expected one of {', '.join(FAULTS)}")
    rng = random.Random(seed)
    phases = [Phase(BEHAVE, first_behave_seconds)]
    total = first_behave_seconds
    round_ = []
    while total < duration:
        if not round_:
            round_ = list(faults)
            rng.shuffle(round_)
        for phase in (Phase(round_.pop(), rng.uniform(*fault_seconds)), Phase(BEHAVE, rng.uniform(*behave_seconds))):
            phases.append(phase)
            total += phase.seconds
    return phases


class _Link:
    """One relayed connection: the client's side and the server's side."""

    def __init__(self, relay, client, upstream, to_peer=False):
        self.relay = relay
        self.client = client  # (reader, writer)
        self.upstream = upstream
        self.to_peer = to_peer  # the upstream is the second one (refuse phases)
        self.stalled = False
        self.closed = False
        self.tasks = []
        self.close_timer = None
        self.up_framing = _Framing(_PREFACE)
        self.down_framing = _Framing()
        self.up_max = 0  # the highest stream id passed to the server
        self.new_streams = 0
        # Streams a connection accepted in a goaway phase gets before its GOAWAY.
        self.goaway_after = None
        self.drop_above = None  # the last stream id of our GOAWAY: higher ones are dropped
        self.dropped_max = 0
        self.graceful = False  # a GOAWAY with last stream id 2^31-1 was sent
        self.server_last = _MAX_STREAM_ID  # the last stream id of the server's own GOAWAY
        self.goaway_pending = None  # a GOAWAY waiting for the server's first frame
        self.goaway_timer = None  # closes the connection a grace period after our GOAWAY

    @property
    def framed(self):
        return not (self.up_framing.opaque or self.down_framing.opaque)

    def _up_frame(self, kind, flags, stream_id, buf, pos):
        if self.drop_above is not None and stream_id > self.drop_above:
            if kind == _HEADERS and stream_id > self.dropped_max:
                self.dropped_max = stream_id
                self.relay.dropped += 1
            return False
        if kind in (_HEADERS, _CONTINUATION) and self.dropped_max and stream_id <= self.up_max:
            # A header block after a dropped one: the server's HPACK table
            # would differ from the client's. No gRPC client does this.
            asyncio.get_running_loop().call_soon(self.close, True)
            return False
        if kind == _HEADERS and stream_id > self.up_max:
            self.up_max = stream_id
            self.new_streams += 1
            if (self.goaway_after is not None and self.new_streams >= self.goaway_after
                    and self.relay.kind == "goaway"):
                self.goaway()
        return True

    def _down_frame(self, kind, flags, stream_id, buf, pos):
        if kind == _GOAWAY and stream_id == 0 and pos + 13 <= len(buf):
            last = int.from_bytes(buf[pos + 9:pos + 13], "big") & _MAX_STREAM_ID
            self.server_last = min(self.server_last, last)
        return True

    def _inject(self, frame):
        """A frame of ours toward the client, between two of the server's."""
        if self.down_framing.started:
            self.client[1].write(frame)
        else:
            self.goaway_pending = frame  # sent after the server's first frame

    def goaway(self):
        """GOAWAY with the highest stream id passed to the server as its last:
        the streams above it are dropped, and the connection is closed after
        the grace period unless the client closed it before."""
        if self.drop_above is not None or self.stalled or self.closed or not self.framed:
            return
        self.drop_above = min(self.up_max, self.server_last)
        self._inject(goaway_frame(self.drop_above))
        self.relay.goaways += 1
        self.goaway_timer = asyncio.get_running_loop().call_later(self.relay.settings.goaway_grace, self.close)

    def goaway_gracefully(self):
        """GOAWAY with last stream id 2^31-1: the client opens no more streams
        here, and none is dropped."""
        if self.graceful or self.drop_above is not None or self.stalled or self.closed or not self.framed:
            return
        self.graceful = True
        self.relay.graceful_goaways += 1
        self._inject(goaway_frame(min(_MAX_STREAM_ID, self.server_last)))

    def start(self):
        for source, sink, name in ((self.client, self.upstream, "up"), (self.upstream, self.client, "down")):
            queue = asyncio.Queue(_QUEUE_CHUNKS)
            self.tasks.append(asyncio.ensure_future(self._read(source[0], queue, name)))
            self.tasks.append(asyncio.ensure_future(self._write(queue, sink[1])))
        self.relay.fault_began(self)

    async def _read(self, reader, queue, name):
        rng = self.relay.rng
        last_due = 0.0
        try:
            while True:
                if self.stalled:
                    await self._stay_silent(reader, name)
                    return
                data = await reader.read(_CHUNK)
                if not data:
                    framing = self.up_framing if name == "up" else self.down_framing
                    if framing.rest and not self.stalled:  # a partial frame: passed on as it came
                        await queue.put((last_due, framing.rest))
                        framing.rest = b""
                    break
                kind = self.relay.kind
                if self.stalled:
                    continue  # read while the stall began: never passed on
                if name == "up":
                    data = self.up_framing.frames(data, self._up_frame)
                else:
                    data = self.down_framing.frames(data, self._down_frame)
                    if self.goaway_pending is not None and self.down_framing.started:
                        data, self.goaway_pending = data + self.goaway_pending, None
                if not data:
                    continue
                if kind == "corrupt" and rng.random() < self.relay.settings.corrupt_chance:
                    data = _flip_bytes(data, rng, self.relay.settings.corrupt_bytes)
                    # Frame boundaries as the peers see them are unknown from here on.
                    self.up_framing.opaque = self.down_framing.opaque = True
                due = time.monotonic()
                if kind == "delay":
                    due += rng.uniform(*self.relay.settings.delay)
                last_due = max(last_due, due)  # never overtakes an earlier chunk
                await queue.put((last_due, data))
        except (OSError, asyncio.IncompleteReadError):
            pass
        except asyncio.CancelledError:
            return
        # The end of one side ends the other: the client sees what the server did.
        await queue.put(None)

    async def _stay_silent(self, reader, name):
        # The server's end of a dead path is let go quietly: the client must
        # not learn from it. The client's end is read (and dropped) only after
        # the stall phase, so that its writes first pile up as on a dead
        # path, and so that its close is noticed and the link freed.
        if name == "down":
            return
        while self.relay.kind == "stall":
            await asyncio.sleep(0.1)
        try:
            while await reader.read(_CHUNK):
                pass
        except OSError:
            pass
        self.close()

    async def _write(self, queue, writer):
        try:
            while (item := await queue.get()) is not None:
                due, data = item
                wait = due - time.monotonic()
                if wait > 0:
                    await asyncio.sleep(wait)
                if self.stalled:
                    return
                writer.write(data)
                await writer.drain()
        except (OSError, asyncio.CancelledError):
            pass
        if not self.stalled:
            self.close()

    def cancel_close(self):
        if self.close_timer is not None:
            self.close_timer.cancel()
            self.close_timer = None

    def close(self, reset=False):
        if self.closed:
            return
        self.closed = True
        self.cancel_close()
        if self.goaway_timer is not None:
            self.goaway_timer.cancel()
        for _, writer in (self.client, self.upstream):
            if reset:
                _reset_on_close(writer)
            writer.close()
        for task in self.tasks:
            if task is not asyncio.current_task():
                task.cancel()
        self.relay.links.discard(self)


def _flip_bytes(data, rng, how_many):
    data = bytearray(data)
    for _ in range(rng.randint(*how_many)):
        data[rng.randrange(len(data))] ^= rng.randint(1, 255)
    return bytes(data)


def _reset_on_close(writer):
    sock = writer.get_extra_info("socket")
    if sock is not None:
        try:
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        except OSError:
            pass


class FaultRelay:
    """Listens on 127.0.0.1:`port` (0: a port of its own choice) and relays to
    127.0.0.1:`upstream_port`, with the fault of the current phase."""

    def __init__(self, upstream_port, port=0, seed=0, settings=None):
        self.upstream_port = upstream_port
        self.rng = random.Random(seed)
        self.settings = settings or FaultSettings()
        self.kind = BEHAVE
        self.links = set()
        self.accepted = 0
        self.goaways = 0  # GOAWAYs whose last stream id is the highest passed on (goaway phases)
        self.graceful_goaways = 0  # GOAWAYs with last stream id 2^31-1 (refuse phases)
        self.dropped = 0  # streams dropped above a GOAWAY's last stream id
        self.refused = 0  # streams the second upstream reset with REFUSED_STREAM
        self.peer_port = None  # the second upstream (refuse phases), started on first use
        self._peer_server = None
        self._peer_started = None
        self._peer_connections = set()
        self._listener = socket.create_server(("127.0.0.1", port), backlog=128)
        self._listener.setblocking(False)
        self.port = self._listener.getsockname()[1]
        self._accepting = asyncio.Event()
        self._accepting.set()
        self._acceptor = None

    @classmethod
    async def start(cls, upstream_port, port=0, seed=0, settings=None):
        relay = cls(upstream_port, port, seed, settings)
        relay._acceptor = asyncio.ensure_future(relay._accept_loop())
        return relay

    def counts(self):
        return {"accepted": self.accepted, "open": len(self.links), "goaways": self.goaways,
                "graceful_goaways": self.graceful_goaways, "dropped": self.dropped, "refused": self.refused}

    def set_phase(self, kind):
        if kind != BEHAVE and kind not in FAULTS:
            raise ValueError(f"unknown phase {kind!r}")
        if self.kind == "refuse" and kind != "refuse":
            # Back to the gRPC server: the client is asked to leave the second upstream.
            for link in list(self.links):
                if link.to_peer:
                    link.goaway_gracefully()
        self.kind = kind
        if kind != "close":
            for link in self.links:
                link.cancel_close()
        if kind == "refuse-hold":
            self._accepting.clear()
        else:
            self._accepting.set()
        for link in list(self.links):
            self.fault_began(link, new=False)

    def fault_began(self, link, new=True):
        """Applies the current fault to a link (a new one, or at a phase change)."""
        if link.stalled:
            return
        if self.kind == "stall":
            link.stalled = True
        elif self.kind == "goaway":
            if new:
                link.goaway_after = self.rng.randint(*self.settings.goaway_after)
            else:
                link.goaway()
        elif self.kind == "refuse":
            if not new and not link.to_peer:
                link.goaway_gracefully()
        elif self.kind.startswith("refuse-") and not new:
            link.close(reset=self.rng.random() < 0.5)
        elif self.kind == "close" and link.close_timer is None:
            reset = self.rng.random() < 0.5
            link.close_timer = asyncio.get_running_loop().call_later(
                self.rng.uniform(*self.settings.close_within), link.close, reset)

    async def run_schedule(self, phases, on_phase=None):
        """Runs the phases in order; `on_phase(index, phase, start, end)` is
        called as each starts. Behaves afterwards."""
        for index, phase in enumerate(phases):
            start = time.monotonic()
            self.set_phase(phase.kind)
            if on_phase is not None:
                on_phase(index, phase, start, start + phase.seconds)
            await asyncio.sleep(phase.seconds)
        self.set_phase(BEHAVE)
        if on_phase is not None:
            now = time.monotonic()
            on_phase(len(phases), Phase(END, 0.0), now, now)

    async def _accept_loop(self):
        loop = asyncio.get_running_loop()
        while True:
            await self._accepting.wait()
            try:
                sock, _ = await loop.sock_accept(self._listener)
            except OSError:
                return
            self.accepted += 1
            # Accepted just as a hold began: held like those in the backlog.
            await self._accepting.wait()
            if self.kind == "refuse-close":
                if self.rng.random() < 0.5:
                    sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                sock.close()
                continue
            asyncio.ensure_future(self._open_link(sock))

    async def _open_link(self, sock):
        to_peer = self.kind == "refuse"
        try:
            if to_peer:
                await self.start_peer()
            upstream = await asyncio.open_connection("127.0.0.1", self.peer_port if to_peer else self.upstream_port)
            client = await asyncio.open_connection(sock=sock)
        except OSError:
            sock.close()
            return
        for _, writer in (client, upstream):
            writer.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        link = _Link(self, client, upstream, to_peer)
        self.links.add(link)
        link.start()

    async def start_peer(self):
        """Starts the second upstream unless it runs (done on first use)."""
        if self._peer_started is None:
            self._peer_started = asyncio.ensure_future(self._start_peer())
        await asyncio.shield(self._peer_started)

    async def _start_peer(self):
        """The second upstream: h2_peer's connections on this loop, with a
        script that refuses some streams while a refuse phase lasts."""
        # The h2 library and the gRPC stubs: only when needed.
        import h2.errors
        import h2.events
        from h2_peer import PeerConnection, Script

        relay = self

        class Refusing(PeerConnection):
            """Refuses as a server over its stream limit does: on the
            request's HEADERS, before any of it is processed. The others get
            the default answer once the request has ended."""

            def _on_event(self, event):
                if (isinstance(event, h2.events.RequestReceived) and relay.kind == "refuse"
                        and relay.rng.random() < relay.settings.refuse_chance):
                    relay.refused += 1
                    self.h2.reset_stream(event.stream_id, error_code=h2.errors.ErrorCodes.REFUSED_STREAM)
                    return  # sent once the read's events are handled
                super()._on_event(event)

        async def accept(reader, writer):
            writer.get_extra_info("socket").setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            conn = Refusing(self, reader, writer, Script(self))
            self._peer_connections.add(conn)
            try:
                await conn.run()
            finally:
                self._peer_connections.discard(conn)

        self._peer_server = await asyncio.start_server(accept, "127.0.0.1", 0)
        self.peer_port = self._peer_server.sockets[0].getsockname()[1]

    async def close(self):
        if self._acceptor is not None:
            self._acceptor.cancel()
        self._listener.close()
        for link in list(self.links):
            link.close()
        if self._peer_server is not None:
            self._peer_server.close()
            for conn in list(self._peer_connections):
                conn.close()
        await asyncio.sleep(0)


def parse_span(text):
    """LOW:HIGH (or one number) as a (low, high) pair of seconds."""
    low, _, high = text.partition(":")
    return (float(low), float(high or low))


async def _serve(args, phases):
    relay = await FaultRelay.start(args.upstream_port, args.port, args.seed)
    if any(phase.kind == "refuse" for phase in phases):
        # The gRPC stubs are generated at the first import: not in the middle of a run.
        await relay.start_peer()
    print(relay.port, flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for signum in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(signum, stop.set)
    mode = os.fstat(0).st_mode
    if stat.S_ISFIFO(mode) or stat.S_ISSOCK(mode):
        # A closed stdin means the process that started us is gone.
        loop.add_reader(0, lambda: os.read(0, 4096) or stop.set())

    def announce(index, phase, start, end):
        print(json.dumps({"phase": index, "kind": phase.kind, "start": start, "end": end, **relay.counts()}),
              flush=True)

    schedule = asyncio.ensure_future(relay.run_schedule(phases, announce))
    await stop.wait()
    schedule.cancel()
    await relay.close()


def main(argv=None):
    parser = argparse.ArgumentParser(description="A loopback TCP relay that injects faults on a seeded schedule.")
    parser.add_argument("--upstream-port", type=int, required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--duration", type=float, default=180.0, help="seconds of schedule (default 180)")
    parser.add_argument("--faults", default=",".join(FAULTS))
    parser.add_argument("--fault-seconds", default="2:4", help="length of a fault phase, LOW:HIGH seconds")
    parser.add_argument("--behave-seconds", default="6:8", help="length of a behave phase, LOW:HIGH seconds")
    parser.add_argument("--first-behave-seconds", type=float, default=3.0)
    args = parser.parse_args(argv)
    try:
        phases = make_schedule(args.seed, args.duration, args.faults.split(","), parse_span(args.fault_seconds),
                               parse_span(args.behave_seconds), args.first_behave_seconds)
    except ValueError as error:
        parser.error(str(error))
    asyncio.run(_serve(args, phases))
    return 0


if __name__ == "__main__":
    sys.exit(main())
