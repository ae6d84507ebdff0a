"""The asyncio side of every call: futures of the caller's running loop,
cancellation that resets the call's stream and leaves no trace, results that
reach the right future under load from one loop and from many threads, and
a loop closed before its result arrives."""

import asyncio
import json
import os
import sys
import threading
import time

import pytest

from client_support import client_for, event, run
from grpcio_server import PeerServer, wait_for_cancel
from tavimor_revizer_client import Decision


# Under the sanitizer runtime (scripts/test --asan) everything runs about ten
# times slower; a client's calls share the worker that serves its connection,
# so the full load would queue past the 7-second deadline there. A tenth of it
# still runs every path at once.
LOAD = 1_000 if "libasan" in os.environ.get("LD_PRELOAD", "") else 10_000


class WaitingServer(PeerServer):
    """grpcio holding every call until the client cancels it; remembers how
    each call ended."""

    def __init__(self):
        self.entered = threading.Semaphore(0)
        self.cancelled = []
        super().__init__(self._hold, direct=True)

    def _hold(self, request_bytes, context, server):
        self.entered.release()
        self.cancelled.append(wait_for_cancel(context, timeout=10))
        return iter(())


@pytest.fixture
def quiet(monkeypatch):
    """Collects what would be printed as unraisable or by the loop's
    exception handler."""
    seen = []
    monkeypatch.setattr(sys, "unraisablehook", lambda report: seen.append(report))
    return seen


def test_cancelling_the_awaiting_task_resets_the_stream(quiet):
    with WaitingServer() as server:
        client = client_for(server)
        loop_errors = []

        async def main():
            asyncio.get_running_loop().set_exception_handler(lambda loop, context: loop_errors.append(context))
            futures = [client.adjudicate(event()) for _ in range(5)] + [client.adjudicates([event(), event()])]
            tasks = [asyncio.ensure_future(f) for f in futures]
            for _ in futures:
                assert server.entered.acquire(timeout=10)
            for task in tasks:
                task.cancel()
            results = await asyncio.gather(*tasks, return_exceptions=True)
            assert all(isinstance(r, asyncio.CancelledError) for r in results)
            # Whatever the runtime does next, the futures stay cancelled.
            await asyncio.sleep(0.3)
            assert all(f.cancelled() for f in futures)

        started = time.monotonic()
        run(main)
        deadline = time.monotonic() + 5
        while len(server.cancelled) < 6 and time.monotonic() < deadline:
            time.sleep(0.01)
        # Reset by the client well before its 7-second deadline.
        assert server.cancelled == [True] * 6
        assert time.monotonic() - started < 5
        assert loop_errors == [] and quiet == []


def test_a_result_for_a_closed_loop_is_reported(cpp_server, quiet):
    client = client_for(cpp_server)
    loop = asyncio.new_event_loop()

    async def start():
        return client.adjudicate(event("behave:delay-ms:200"))

    future = loop.run_until_complete(start())
    loop.close()
    deadline = time.monotonic() + 5
    while not quiet and time.monotonic() < deadline:
        time.sleep(0.01)
    assert not future.done()
    (report,) = quiet
    assert report.err_msg == "Exception ignored while handing a result back to its event loop"
    assert isinstance(report.exc_value, RuntimeError) and str(report.exc_value) == "Event loop is closed"


def echo_ids(answers):
    return [json.loads(a.reason)["event_id"] for a in answers]


def test_ten_thousand_calls_from_one_loop(cpp_server):
    client = client_for(cpp_server)
    ids = [f"evt-{i}" for i in range(LOAD)]

    async def main():
        return await asyncio.gather(*(client.adjudicate(event("behave:echo", event_id=i)) for i in ids))

    assert echo_ids(run(main)) == ids


def test_calls_from_eight_threads_each_with_its_own_loop(cpp_server):
    client = client_for(cpp_server)
    outcomes = {}

    def worker(n):
        ids = [f"t{n}-{i}" for i in range(LOAD // 8)]

        async def main():
            single = asyncio.gather(*(client.adjudicate(event("behave:echo", event_id=i)) for i in ids))
            batch = client.adjudicates([event(event_id=i) for i in ids])
            return await single, await batch

        answers, batch = run(main)
        outcomes[n] = echo_ids(answers) == ids and len(batch) == len(ids)

    threads = [threading.Thread(target=worker, args=(n,)) for n in range(8)]
    for t in threads:
        t.start()
    for t in threads:
        t.join(120)
    assert outcomes == {n: True for n in range(8)}


def test_the_future_belongs_to_the_calling_loop(cpp_server):
    client = client_for(cpp_server)

    async def main():
        future = client.adjudicate(event())
        assert isinstance(future, asyncio.Future)
        assert future.get_loop() is asyncio.get_running_loop()
        return await future

    assert run(main).decision == Decision.ALLOW
