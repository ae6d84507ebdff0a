"""The blocking constructor against peers that accept a connection and never
speak (a TLS server that sends no handshake, a proxy that never answers
CONNECT): the process's other threads run while it waits, Ctrl-C ends it,
and a daemon thread stuck in it does not keep the process from exiting.
Each case runs in a child interpreter of its own."""

import json
import signal
import socket
import subprocess
import sys
import textwrap
import threading
import time

import pytest

from client_support import child_env


class SilentPeer:
    """Accepts every connection on loopback and never sends a byte."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.port = self.listener.getsockname()[1]
        self.held = []
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                self.held.append(self.listener.accept()[0])
            except OSError:
                return

    def close(self):
        self.listener.close()
        for connection in self.held:
            connection.close()


@pytest.fixture
def silent_peer():
    peer = SilentPeer()
    yield peer
    peer.close()


# How each peer is reached: the endpoint and the variables of the child.
WAYS = {
    "tls handshake": lambda port: (f"https://127.0.0.1:{port}", {}),
    "proxy CONNECT": lambda port: ("http://example.invalid:50051", {"http_proxy": f"http://127.0.0.1:{port}"}),
}

INTERRUPTED = """
import json, sys, threading, time
from tavimor_revizer_client import RevizerClient

count = 0
def counter():
    global count
    while True:
        count += 1
        time.sleep(0.001)
threading.Thread(target=counter, daemon=True).start()

before = count
print("connecting", flush=True)
started = time.monotonic()
try:
    RevizerClient({endpoint!r}, "t")
    print(json.dumps("connected"))
except KeyboardInterrupt:
    print(json.dumps({{"counted": count - before, "waited": time.monotonic() - started}}))
"""


def start_child(code, tmp_path, variables):
    return subprocess.Popen([sys.executable, "-c", textwrap.dedent(code)], env=child_env(tmp_path, **variables),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


@pytest.mark.parametrize("way", WAYS)
def test_ctrl_c_ends_the_wait_while_other_threads_run(silent_peer, tmp_path, way):
    endpoint, variables = WAYS[way](silent_peer.port)
    child = start_child(INTERRUPTED.format(endpoint=endpoint), tmp_path, variables)
    try:
        assert child.stdout.readline() == "connecting\n"
        time.sleep(0.5)
        child.send_signal(signal.SIGINT)
        interrupted = time.monotonic()
        out, err = child.communicate(timeout=10)
        took = time.monotonic() - interrupted
    finally:
        child.kill()
        child.wait()
    assert (child.returncode, err) == (0, "")
    found = json.loads(out)
    # The counting thread ran about 500 times during the half-second wait.
    assert found["counted"] > 50
    # A fraction of a second after the signal, with generous slack.
    assert took < 3


DAEMON = """
import threading, time
from tavimor_revizer_client import RevizerClient

threading.Thread(target=lambda: RevizerClient({endpoint!r}, "t"), daemon=True).start()
time.sleep(0.3)
print("exiting", flush=True)
"""


@pytest.mark.parametrize("way", WAYS)
def test_a_daemon_thread_in_the_constructor_lets_the_process_exit(silent_peer, tmp_path, way):
    endpoint, variables = WAYS[way](silent_peer.port)
    child = start_child(DAEMON.format(endpoint=endpoint), tmp_path, variables)
    try:
        out, err = child.communicate(timeout=10)
    finally:
        child.kill()
        child.wait()
    assert (child.returncode, out, err) == (0, "exiting\n", "")
