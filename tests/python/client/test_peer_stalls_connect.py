"""Connecting to peers that accept and never speak: the blocking constructor
and connect() fail at the connection attempt's bound (shortened here through
the test hook, in a child interpreter), and cancelled connect() futures close
their sockets at once."""

import asyncio
import os
import socket
import threading
import time

from client_support import run_child
from tavimor_revizer_client import RevizerClient


class SilentPeer:
    """Accepts TCP connections on loopback and never writes; counts the
    connections it accepted and those the client has closed."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0), backlog=256)
        self.port = self.listener.getsockname()[1]
        self.accepted = 0
        self.closed = 0
        self.lock = threading.Lock()
        self.stopping = False
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while not self.stopping:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            with self.lock:
                self.accepted += 1
            threading.Thread(target=self._hold, args=(conn,), daemon=True).start()

    def _hold(self, conn):
        with conn:
            while conn.recv(4096):
                pass
        with self.lock:
            self.closed += 1

    def close(self):
        self.stopping = True
        self.listener.close()


def eventually(check, within):
    give_up = time.monotonic() + within
    while not check():
        if time.monotonic() >= give_up:
            return False
        time.sleep(0.01)
    return True


def open_descriptors():
    return len(os.listdir("/proc/self/fd"))


def test_every_way_of_connecting_fails_at_the_attempt_bound(tmp_path):
    peer = SilentPeer()
    try:
        for scheme in ("http", "https"):
            ep = f"{scheme}://127.0.0.1:{peer.port}"
            outcome = run_child(
                f"""
                import asyncio, time
                from client_support import outcome, report
                from tavimor_revizer_client import RevizerClient
                async def connect():
                    return await RevizerClient.connect({ep!r}, "t")
                start = time.monotonic()
                blocking = outcome(lambda: RevizerClient({ep!r}, "t"))
                awaited = outcome(lambda: asyncio.run(connect()))
                report([blocking, awaited, time.monotonic() - start])
                """,
                tmp_path,
                _TAVIMOR_TEST_CONNECT_TIMEOUT_MS="300",
            )
            blocking, awaited, took = outcome
            expected = (
                f"Failed to connect: transport setup failed: Failed to connect to '{ep}': "
                "transport error: connection attempt timed out after 300 ms"
            )
            assert blocking == {"error": "RuntimeError", "text": expected}
            assert awaited == {"error": "RuntimeError", "text": expected}
            assert 0.6 <= took < 10
        assert eventually(lambda: peer.closed == peer.accepted == 4, 2)
    finally:
        peer.close()


def test_cancelled_connects_close_their_sockets_at_once():
    peer = SilentPeer()

    async def connect_and_cancel(count):
        # Counted before the first connect: each starts at its call and may
        # be accepted before the list is made.
        target = peer.accepted + count
        connects = [asyncio.ensure_future(RevizerClient.connect(f"http://127.0.0.1:{peer.port}", "t"))
                    for _ in range(count)]
        assert await asyncio.to_thread(eventually, lambda: peer.accepted == target, 10)
        for connect in connects:
            connect.cancel()
        results = await asyncio.gather(*connects, return_exceptions=True)
        assert all(isinstance(r, asyncio.CancelledError) for r in results)

    try:
        # A first round makes what stays for the process's life (the
        # workers' descriptors, made with their first connection).
        asyncio.run(connect_and_cancel(50))
        assert eventually(lambda: peer.closed == 50, 2), f"{peer.closed} of 50 closed"
        before = open_descriptors()
        asyncio.run(connect_and_cancel(50))
        assert eventually(lambda: peer.closed == 100, 2), f"{peer.closed} of 100 closed"
        assert eventually(lambda: open_descriptors() <= before, 2), f"{open_descriptors()} open, {before} before"
    finally:
        peer.close()


# At once (before the coroutine's first loop turn), after one loop turn, and
# after 1 to 100 ms: a cancellation may land before the channel's connect has
# begun (while the connect task reads its settings on the interpreter
# thread), as the connect begins, or while it waits for the peer.
EARLY_CANCEL_DELAYS = [None] * 30 + [0.0] * 10 + [i / 1000 for i in range(1, 101, 5)]


def test_a_connect_cancelled_before_it_begins_is_abandoned():
    peer = SilentPeer()

    async def cancel_after(delay):
        connect = RevizerClient.connect(f"http://127.0.0.1:{peer.port}", "t")
        if delay is not None:
            await asyncio.sleep(delay)
        connect.cancel()
        try:
            await connect
        except asyncio.CancelledError:
            pass

    def all_closed():
        with peer.lock:
            return peer.closed == peer.accepted

    try:
        left_open = []
        for run, delay in enumerate(EARLY_CANCEL_DELAYS):
            asyncio.run(cancel_after(delay))
            # A socket opens only when the connect had begun; then it closes
            # at once (an attempt left running holds it for 20 s).
            if not eventually(all_closed, 1.5):
                left_open.append((run, delay))
                assert eventually(all_closed, 30)  # the next run starts clean
        assert left_open == [], f"{len(left_open)} of {len(EARLY_CANCEL_DELAYS)} runs left the socket open: {left_open}"
        time.sleep(0.2)  # a connect that began late would be accepted by now
        assert eventually(all_closed, 1.5), f"{peer.accepted} accepted, {peer.closed} closed"
    finally:
        peer.close()
