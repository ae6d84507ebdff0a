"""Calls at interpreter exit, in child interpreters: an `atexit` callback
that awaits calls started earlier, or starts new ones, registered before the
module's import, after it, or after the first client. The module registers
its own exit callback when it is imported, and `atexit` runs the callbacks
last registered first: a callback registered after the import runs while
calls still work; one registered before it runs after the module's, which
has failed every call still pending ("the call cannot complete: the
interpreter is exiting") and lets no call start ("cannot start a call: the
interpreter is exiting"). The process never hangs."""

import json
import subprocess
import sys
import textwrap
from concurrent.futures import ThreadPoolExecutor

import pytest

from client_support import child_env, endpoint

ABANDONED = {"error": "RuntimeError", "text": "the call cannot complete: the interpreter is exiting"}
REFUSED = {"error": "RuntimeError", "text": "cannot start a call: the interpreter is exiting"}
ANSWERED = {"ok": True}

SCRIPT = """
import asyncio, atexit, json, time

ORDER = {order!r}
out = {{}}

def at_exit():
    from client_support import event, outcome
    from tavimor_revizer_client import Decision
    if {awaits}:
        out["earlier"] = [outcome(lambda f=f: loop.run_until_complete(f).decision == Decision.ALLOW) for f in futures]
        out["cancelled"] = [f.cancelled() for f in cancelled]
    if {starts}:
        async def new():
            return (await client.adjudicate(event("behave:delay-ms:50"))).decision == Decision.ALLOW
        out["new"] = outcome(lambda: loop.run_until_complete(new()))
        async def new_batch():
            return [a.decision == Decision.ALLOW for a in await client.adjudicates([event(), event()])]
        out["new batch"] = outcome(lambda: loop.run_until_complete(new_batch()))
    print(json.dumps(out), flush=True)

if ORDER == "before import":
    atexit.register(at_exit)
from client_support import event
from tavimor_revizer_client import Decision, RevizerClient
if ORDER == "after import":
    atexit.register(at_exit)
client = RevizerClient({ep!r}, "t")
if ORDER == "after client":
    atexit.register(at_exit)

loop = asyncio.new_event_loop()
async def start():
    return [client.adjudicate(event({behaviour!r})) for _ in range(4)]
futures = loop.run_until_complete(start())
cancelled = loop.run_until_complete(start())
for f in cancelled:
    f.cancel()
if {close_loop}:
    loop.close()
time.sleep({pause})
"""

# The bound of a run: a hang shows as the child still running then.
EXIT_BOUND_SECONDS = 20


def run_script(server, tmp_path, order, behaviour="behave:never-answer", awaits=True, starts=True,
               close_loop=False, pause=0):
    code = textwrap.dedent(SCRIPT).format(order=order, ep=endpoint(server), behaviour=behaviour, awaits=awaits,
                                          starts=starts, close_loop=close_loop, pause=pause)
    try:
        done = subprocess.run([sys.executable, "-c", code], env=child_env(tmp_path), capture_output=True, text=True,
                              timeout=EXIT_BOUND_SECONDS)
    except subprocess.TimeoutExpired:
        return "hang", None, ""
    lines = done.stdout.strip().splitlines()
    return done.returncode, json.loads(lines[-1]) if lines else None, done.stderr


@pytest.mark.parametrize("awaits,starts", [(True, False), (False, True), (True, True)],
                         ids=["awaits earlier calls", "starts new calls", "both"])
def test_a_callback_registered_before_the_import_gets_the_exit_error(cpp_server, tmp_path, awaits, starts):
    with ThreadPoolExecutor(4) as pool:
        runs = list(pool.map(lambda _: run_script(cpp_server, tmp_path, "before import", awaits=awaits, starts=starts),
                             range(8)))
    for status, out, stderr in runs:
        assert (status, stderr) == (0, "")
        expected = {}
        if awaits:
            expected["earlier"] = [ABANDONED] * 4
            expected["cancelled"] = [True] * 4  # left alone
        if starts:
            expected["new"] = REFUSED
            expected["new batch"] = REFUSED
        assert out == expected


@pytest.mark.parametrize("order", ["after import", "after client"])
def test_a_callback_registered_after_the_import_still_calls(cpp_server, tmp_path, order):
    with ThreadPoolExecutor(4) as pool:
        runs = list(pool.map(lambda _: run_script(cpp_server, tmp_path, order, behaviour="behave:delay-ms:200"),
                             range(8)))
    for status, out, stderr in runs:
        assert (status, stderr) == (0, "")
        assert out == {"earlier": [ANSWERED] * 4, "cancelled": [True] * 4, "new": ANSWERED,
                       "new batch": {"ok": [True, True]}}


def test_calls_whose_answer_may_still_land_get_it_or_the_exit_error(cpp_server, tmp_path):
    # The answers arrive around the end of the script (which pauses 20 ms),
    # some while the module's exit callback runs: each await gets its answer
    # (handed back before that callback) or the exit error, never a hang,
    # and no future is completed twice (the second completion would fail on
    # the loop, and show on stderr).
    delays = [0, 5, 10, 15, 20, 25, 30, 40] * 3
    with ThreadPoolExecutor(4) as pool:
        runs = list(pool.map(
            lambda delay: run_script(cpp_server, tmp_path, "before import", behaviour=f"behave:delay-ms:{delay}",
                                     starts=False, pause=0.02),
            delays))
    seen = set()
    for status, out, stderr in runs:
        assert (status, stderr) == (0, "")
        assert all(outcome in (ANSWERED, ABANDONED) for outcome in out["earlier"]), out
        seen.update(json.dumps(outcome) for outcome in out["earlier"])
    assert seen == {json.dumps(ANSWERED), json.dumps(ABANDONED)}


def test_calls_of_a_closed_loop_are_skipped_at_exit(cpp_server, tmp_path):
    # Nothing to fail through a closed loop, and nothing to report.
    status, out, stderr = run_script(cpp_server, tmp_path, "before import", awaits=False, starts=False,
                                     close_loop=True)
    assert (status, out, stderr) == (0, {}, "")
