"""A server that accepts the connection, speaks HTTP/2's first frame and then
never answers anything: a timed-out call makes the client ping it, the
unanswered ping drops the connection, and the next call opens a new one."""

import socket
import threading
import time

import pytest

from client_support import client_for, event, run


class SilentHttp2Server:
    """Loopback TCP server: sends an empty SETTINGS frame on each connection,
    then only reads, noting the PINGs it is sent and when the client hangs up."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.connections = []  # per connection: {"settings_acked": bool, "pings": n, "closed": bool}
        self.lock = threading.Lock()
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return
            state = {"settings_acked": False, "pings": 0, "closed": False}
            with self.lock:
                self.connections.append(state)
            threading.Thread(target=self._serve, args=(conn, state), daemon=True).start()

    def _serve(self, conn, state):
        with conn:
            conn.sendall(b"\x00\x00\x00\x04\x00\x00\x00\x00\x00")
            data = b""
            preface_seen = False
            while True:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                data += chunk
                if not preface_seen:
                    if len(data) < 24:
                        continue
                    data, preface_seen = data[24:], True
                while len(data) >= 9:
                    length = int.from_bytes(data[:3], "big")
                    if len(data) < 9 + length:
                        break
                    frame_type, flags = data[3], data[4]
                    with self.lock:
                        if frame_type == 4 and flags & 1:
                            state["settings_acked"] = True
                        elif frame_type == 6 and not flags & 1:
                            state["pings"] += 1
                    data = data[9 + length :]
        with self.lock:
            state["closed"] = True

    def snapshot(self):
        with self.lock:
            return [dict(c) for c in self.connections]

    def close(self):
        self.listener.close()


@pytest.fixture
def silent_server():
    server = SilentHttp2Server()
    yield server
    server.close()


def wait_for(condition, seconds=5.0):
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        if condition():
            return True
        time.sleep(0.02)
    return condition()


def test_unanswered_ping_drops_the_connection_and_the_next_call_opens_another(silent_server, monkeypatch):
    monkeypatch.setenv("TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS", "200")
    monkeypatch.setenv("_TAVIMOR_TEST_PING_TIMEOUT_MS", "300")
    client = client_for(silent_server)
    # The server has said all it will say once the client acknowledged its
    # SETTINGS: from here on the connection is silent.
    assert wait_for(lambda: silent_server.snapshot() and silent_server.snapshot()[0]["settings_acked"])
    with pytest.raises(RuntimeError, match="Timeout expired"):
        run(lambda: client.adjudicate(event()))
    assert wait_for(lambda: silent_server.snapshot()[0]["pings"] == 1)
    assert wait_for(lambda: silent_server.snapshot()[0]["closed"]), "the client hangs up after the ping goes unanswered"

    with pytest.raises(RuntimeError, match="Timeout expired"):
        run(lambda: client.adjudicate(event()))
    connections = silent_server.snapshot()
    assert len(connections) == 2
    assert connections[0]["pings"] == 1, "one ping at a time"
