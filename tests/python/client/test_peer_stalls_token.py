"""Cloud Run identity tokens against local token sources: a metadata server
that answers, and one that accepts and never answers. The endpoint is a
local test server whose URL carries the Cloud Run suffix in its path, so the
client takes the Cloud Run mode while talking to the local server. Each run
is a child interpreter with a controlled environment (HOME without gcloud
files, the metadata host pointed at the local peer)."""

import http.server
import socket
import threading

import pytest

from client_support import endpoint, run_child

# The connects that stall: more than the token-fetch pool's eight threads.
STUCK_CONNECTS = 12
# The transfer bound the tests give every token fetch (a test-only setting).
FETCH_BOUND_MS = 3000


@pytest.fixture(scope="module")
def server(cpp_server):
    return cpp_server


class SilentPeer:
    """Accepts every connection and never answers; closes them when stopped."""

    def __init__(self):
        self.listener = socket.create_server(("127.0.0.1", 0), backlog=64)
        self.listener.settimeout(0.2)
        self.port = self.listener.getsockname()[1]
        self.held = []
        self.stopping = threading.Event()
        self.thread = threading.Thread(target=self._accept, daemon=True)
        self.thread.start()

    def _accept(self):
        while not self.stopping.is_set():
            try:
                connection, _ = self.listener.accept()
            except (TimeoutError, socket.timeout):
                continue
            self.held.append(connection)

    def stop(self):
        self.stopping.set()
        self.thread.join(timeout=5)
        for connection in self.held:
            connection.close()
        self.listener.close()


@pytest.fixture
def silent_peer():
    peer = SilentPeer()
    yield peer
    peer.stop()


@pytest.fixture
def metadata_server():
    """A metadata server that gives every identity request the token
    "id-token-<n>" and records what it was asked."""
    asked = []

    class Handler(http.server.BaseHTTPRequestHandler):
        def do_GET(self):
            asked.append({"path": self.path, "flavor": self.headers.get("Metadata-Flavor")})
            body = f"id-token-{len(asked)}".encode()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)

        def log_message(self, *args):
            pass

    httpd = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    thread = threading.Thread(target=httpd.serve_forever, daemon=True)
    thread.start()
    yield httpd.server_address[1], asked
    httpd.shutdown()
    httpd.server_close()


def token_env(metadata_port):
    return {
        "GCE_METADATA_HOST": f"127.0.0.1:{metadata_port}",
        "GOOGLE_APPLICATION_CREDENTIALS": "",
        "CLOUDSDK_CONFIG": "",
        "_TAVIMOR_TEST_TOKEN_FETCH_TIMEOUT_MS": str(FETCH_BOUND_MS),
    }


def test_a_cloud_run_client_sends_its_identity_token_and_the_api_key(server, metadata_server, tmp_path):
    port, asked = metadata_server
    cloud_run = endpoint(server) + "/svc.run.app"
    answer = run_child(
        f"""
        import asyncio
        from tavimor_revizer_client import RevizerClient
        from client_support import event, metadata_of, report

        async def main():
            client = await RevizerClient.connect({cloud_run!r}, "api-key")
            first = metadata_of(await client.adjudicate(event("behave:metadata")))
            again = metadata_of(await client.adjudicate(event("behave:metadata")))
            return first, again

        first, again = asyncio.run(main())
        report({{"first": first, "again": again}})
        """,
        tmp_path,
        **token_env(port),
    )
    for headers in (answer["first"], answer["again"]):
        assert headers["authorization"] == "Bearer id-token-1"
        assert headers["x-api-key"] == "api-key"
    # One fetch at connect; the second call reuses the fresh token.
    assert len(asked) == 1
    assert asked[0]["flavor"] == "Google"
    assert asked[0]["path"].endswith("audience=" + cloud_run.replace(":", "%3A").replace("/", "%2F") + "&format=full")


def test_stuck_token_fetches_fail_within_their_bound_and_starve_nothing_else(server, silent_peer, tmp_path):
    answer = run_child(
        f"""
        import asyncio, time
        from tavimor_revizer_client import RevizerClient
        from client_support import event, report

        async def main():
            bearer = await RevizerClient.connect({endpoint(server)!r}, "api-key")
            started = time.monotonic()
            stuck = [asyncio.ensure_future(RevizerClient.connect({endpoint(server) + "/svc.run.app"!r}, "api-key"))
                     for _ in range({STUCK_CONNECTS})]
            await asyncio.sleep(0.5)  # every fetch is running or queued by now
            decisions = []
            for _ in range(5):
                decisions.append(str((await bearer.adjudicate(event())).decision))
            pending_after_calls = sum(not connect.done() for connect in stuck)
            results = await asyncio.gather(*stuck, return_exceptions=True)
            errors = [f"{{type(r).__name__}}: {{r}}" for r in results]
            return {{"decisions": decisions, "pending_after_calls": pending_after_calls,
                     "errors": errors, "all_failed_after": time.monotonic() - started}}

        report(asyncio.run(main()))
        """,
        tmp_path,
        timeout=120,
        **token_env(silent_peer.port),
    )
    # The bearer client's calls went through while every Cloud Run connect was stuck.
    assert answer["decisions"] == ["allow"] * 5
    assert answer["pending_after_calls"] == STUCK_CONNECTS, answer
    # Each stuck connect failed with the fetch's time-out. The fetches ran in
    # waves of the pool's size (fewer threads than connects: the later ones
    # waited in its queue), and all ended well within a generous bound.
    host = f"127.0.0.1:{silent_peer.port}"
    for error in answer["errors"]:
        assert error.startswith("RuntimeError: Failed to connect: "), error
        assert f"Failed to fetch Cloud Run identity token: metadata server {host} unreachable: " in error, error
        assert "timed out" in error, error
    assert 2 * 0.9 * FETCH_BOUND_MS / 1000 <= answer["all_failed_after"] < 60, answer
