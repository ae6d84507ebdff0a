"""Peers that keep a connection open but take none of our request bytes: one
that stops reading its socket while it sends a PING every second, one that
reads and answers PINGs but grants no flow-control window. The client drops
such a connection (a timed-out call's PING goes unanswered, or no request
byte could be sent for the bound) and later calls reach a new, healthy one.
A server that is only slow keeps its connection."""

import asyncio
import struct

import h2.settings
import pytest

from client_support import client_for, event, run
from h2_peer import H2Peer, Script
from peer_answers import answer_bytes, behaviour_of
from revizer_stubs import pb2
from tavimor_revizer_client import ToolCall

BOUND_MS = 300  # the progress bound and the ping bound, shortened through the test hooks
WIDEST_WINDOW = 2**31 - 1


@pytest.fixture
def short_bounds(monkeypatch):
    monkeypatch.setenv("_TAVIMOR_TEST_PROGRESS_BOUND_MS", str(BOUND_MS))
    monkeypatch.setenv("_TAVIMOR_TEST_PING_TIMEOUT_MS", str(BOUND_MS))


def deadline(monkeypatch, ms):
    monkeypatch.setenv("TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS", str(ms))


def wait_for(condition, seconds=5.0):
    async def poll():
        for _ in range(int(seconds / 0.02)):
            if condition():
                return True
            await asyncio.sleep(0.02)
        return condition()

    return asyncio.run(poll())


def outcomes(client, events):
    """Every call at once; each outcome is the answer or the exception."""

    async def all_calls():
        return await asyncio.gather(*(client.adjudicate(e) for e in events), return_exceptions=True)

    return asyncio.run(all_calls())


def stop_reading(conn):
    """The peer reads nothing from here on and sends a PING every second."""
    conn.pause_reading()

    async def pings():
        while not conn.closed:
            await conn.ping()
            await asyncio.sleep(1)

    conn.spawn(pings())


class WideOpen(Script):
    """Grants the widest windows, so that only the socket holds requests back."""

    settings = {h2.settings.SettingCodes.INITIAL_WINDOW_SIZE: WIDEST_WINDOW}

    async def on_connection(self, conn):
        conn.h2.increment_flow_control_window(WIDEST_WINDOW - 65535)
        await conn.drain()


def large_event(mib):
    return event(payload=ToolCall("write", {"text": "x" * (mib << 20)}, call_id="call-large"))


def test_peer_that_stops_reading_but_pings_is_dropped_after_a_timed_out_call(short_bounds, monkeypatch):
    # Longer than the peer's PING interval: one of its PINGs arrives while the call waits.
    deadline(monkeypatch, 1500)
    with H2Peer(Script) as peer:
        client = client_for(peer)
        assert run(lambda: client.adjudicate(event()))
        peer.call(stop_reading, peer.connections[0])
        # Small requests fit in the socket's buffers: the call times out, and
        # its PING goes unanswered though the peer keeps pinging.
        with pytest.raises(RuntimeError, match="Timeout expired"):
            run(lambda: client.adjudicate(event()))
        assert wait_for(lambda: peer.connections[0].closed), "the client hangs up"
        answers = outcomes(client, [event() for _ in range(5)])
        assert all(not isinstance(a, BaseException) for a in answers), answers
        assert len(peer.connections) == 2


def test_peer_that_stops_reading_and_fills_the_socket_is_replaced(short_bounds, monkeypatch):
    # A deadline far beyond the bound: the stall is found while the calls still wait.
    deadline(monkeypatch, 5000)
    with H2Peer(WideOpen) as peer:
        client = client_for(peer)
        assert run(lambda: client.adjudicate(event()))
        peer.call(stop_reading, peer.connections[0])
        # More than the socket buffers hold: the write stops moving.
        answers = outcomes(client, [large_event(1) for _ in range(20)])
        failures = [a for a in answers if isinstance(a, BaseException)]
        assert failures, "the calls that went out on the stalled connection fail"
        for failure in failures:
            assert str(failure) == (
                "Adjudication failed: revizer unavailable: connection stalled: no request byte could be sent "
                f"for {BOUND_MS} ms (the server reads nothing)"
            )
        # The calls that waited for a stream went out on a new connection, as do later ones.
        assert len(failures) < len(answers)
        answers = outcomes(client, [event() for _ in range(5)])
        assert all(not isinstance(a, BaseException) for a in answers), answers
        assert len(peer.connections) == 2


class NoWindowUntilHealed(Script):
    """Reads everything and answers PINGs (the h2 library does), but grants
    no stream window to connections opened before the test heals the peer."""

    def __init__(self, peer):
        super().__init__(peer)
        self.settings = {} if peer.healed else {h2.settings.SettingCodes.INITIAL_WINDOW_SIZE: 0}


def test_peer_that_grants_no_window_is_replaced(short_bounds, monkeypatch):
    deadline(monkeypatch, 5000)
    with H2Peer(NoWindowUntilHealed) as peer:
        peer.healed = False
        client = client_for(peer)
        assert wait_for(lambda: len(peer.connections) == 1)
        peer.healed = True  # the open connection stays windowless
        with pytest.raises(RuntimeError) as raised:
            run(lambda: client.adjudicate(event()))
        assert str(raised.value) == (
            "Adjudication failed: revizer unavailable: connection stalled: no request byte could be sent "
            f"for {BOUND_MS} ms (the server keeps its flow-control window closed)"
        )
        answers = outcomes(client, [event() for _ in range(5)])
        assert all(not isinstance(a, BaseException) for a in answers), answers
        assert len(peer.connections) == 2


class AnswersAfter(Script):
    """Answers every request after 1.5 s: all of it was read long before."""

    async def on_request(self, conn, request):
        await asyncio.sleep(1.5)
        await conn.answer_grpc(request)


class LargeAnswerSlowly(Script):
    """Sends a 6 MiB answer 256 KiB at a time, 50 ms apart: our only writes
    meanwhile are window updates."""

    async def on_request(self, conn, request):
        message = pb2.AdjudicatesRequest.FromString(request.body[5:])
        answer = answer_bytes(message, behaviour_of(message))
        framed = b"\x00" + struct.pack(">I", len(answer)) + answer
        await conn.send_headers(request.stream_id, [(":status", "200"), ("content-type", "application/grpc")])
        for start in range(0, len(framed), 256 * 1024):
            await conn.send_data(request.stream_id, framed[start : start + 256 * 1024])
            await asyncio.sleep(0.05)
        await conn.send_headers(request.stream_id, [("grpc-status", "0")], end_stream=True)


@pytest.mark.parametrize(
    "script, trajectory",
    [(AnswersAfter, "trajectory-1"), (LargeAnswerSlowly, f"behave:answer-size:{6 << 20}")],
    ids=["answers after 1.5 s", "large answers on a slow link"],
)
def test_slow_server_keeps_its_connection(short_bounds, monkeypatch, script, trajectory):
    deadline(monkeypatch, 7000)
    with H2Peer(script) as peer:
        client = client_for(peer)
        answers = outcomes(client, [event(trajectory) for _ in range(4)])
        assert all(not isinstance(a, BaseException) for a in answers), answers
        assert len(peer.connections) == 1
