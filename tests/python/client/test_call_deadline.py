"""A call's deadline counts from the Python call, not from when the call
reaches its worker: in a child with one runtime worker, held busy by a large
`adjudicates` (its events turned into requests there), a small call made
right after it is sent with "grpc-timeout" of only what is left of its
deadline."""

import textwrap

from client_support import endpoint, run_child, sent_timeout_ms

BUSY = """
import asyncio, json, time
from client_support import event, report
from tavimor_revizer_client import RevizerClient

client = RevizerClient({ep!r}, "t")

async def main():
    big = [event(event_id=f"e{{i}}") for i in range(30000)]
    busy = client.adjudicates(big)  # its events become requests on the one worker
    called = time.monotonic()
    answer = await client.adjudicate(event("behave:metadata"))
    took = time.monotonic() - called
    try:
        await busy  # its first request's deadline counted from its call too (slow builds reach it)
    except RuntimeError:
        pass
    return took, json.loads(answer.reason)["grpc-timeout"]

report(asyncio.run(main()))
"""


def test_the_deadline_counts_from_the_python_call(cpp_server, tmp_path):
    took, sent = run_child(textwrap.dedent(BUSY).format(ep=endpoint(cpp_server)), tmp_path,
                           TAVIMOR_RUNTIME_WORKER_THREADS="1", TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS="7000")
    left = sent_timeout_ms(sent)
    assert took >= 0.1, f"the worker was not held busy ({took * 1000:.0f} ms)"
    # What waited for the worker counts: less than the whole timeout is
    # sent, and no more than what is left once the call had waited.
    assert left <= 7000 - 50, sent
    assert left >= 7000 - took * 1000 - 5, (sent, took)
