"""Exits with answers landing: runs each exit scenario many times, each run a
child interpreter of its own, and counts the runs that end abnormally.

In every run the child connects a client to the gRPC C++ test server
(revizer_test_server --direct), starts 200 calls whose answers are due from
just before the exit to a few tens of milliseconds after it
(behave:delay-ms:<n>): 100 from the main thread's event loop and 50 from each
of two daemon threads' loops, which go on running as the process exits. Then
the main thread's coroutine leaves in the scenario's way:

  sys-exit    sys.exit(3)                           expected status 3
  exception   an exception nobody catches           expected status 1
  end         the script simply ends                expected status 0
  os-exit     os._exit(4)                           expected status 4

A run is abnormal when it dies by a signal, exits with another status, prints
"Fatal Python error", or has not ended after a minute (then it is killed).

    .venv/bin/python bench/python/exit_scenarios.py [--runs 2000] [--jobs 8]
        [--scenarios sys-exit,exception,end,os-exit] [--spread-ms 60]

Needs the build (scripts/test): REVIZER_BUILD_DIR names it (build/release).
Children run with this interpreter, so with the module of its .venv. Exits 1
when a run was abnormal; the stderr of the first few of each scenario is shown.
"""
from __future__ import annotations

import argparse
import os
import pathlib
import signal
import subprocess
import sys
import tempfile
import time
from collections import Counter
from concurrent.futures import ThreadPoolExecutor
from dataclasses import dataclass, field

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "peers"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from bench_client import server_path  # noqa: E402
from peer_process import ServerProcess  # noqa: E402

SCENARIOS = {"sys-exit": 3, "exception": 1, "end": 0, "os-exit": 4}
# A child that has not exited by then is stuck.
HANG_SECONDS = 60
# Time to start the threads and the 200 calls before the exit is due.
LEAD_MS = 40

CHILD = r"""
import asyncio, os, random, sys, threading, time
from tavimor_revizer_client import Agent, Event, RevizerClient, ToolCall

endpoint, how, lead_ms, spread_ms = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
MAIN_CALLS, THREADS, THREAD_CALLS = 100, 2, 50
client = RevizerClient(endpoint, "exit-token")
agent = Agent("agent-exit", "openai")
tool = ToolCall("search", {"query": "weather in Paris"}, call_id="call-1")
exit_at = time.monotonic() + lead_ms / 1000
first_ms = random.uniform(-5, 2)  # where the first answer falls around the exit


def start_calls(count):
    pending = []
    for i in range(count):
        due = exit_at + (first_ms + i * spread_ms / count) / 1000
        delay = max(0, round((due - time.monotonic()) * 1000))
        pending.append(client.adjudicate(Event(agent, f"behave:delay-ms:{delay}", tool)))
    return pending


def thread_loop(ready):
    async def main():
        pending = start_calls(THREAD_CALLS)
        ready.release()
        await asyncio.gather(*pending, return_exceptions=True)
        await asyncio.Event().wait()  # the loop still runs as the process exits
    asyncio.run(main())


ready = threading.Semaphore(0)
for _ in range(THREADS):
    threading.Thread(target=thread_loop, args=(ready,), daemon=True).start()
for _ in range(THREADS):
    ready.acquire()


async def main():
    pending = start_calls(MAIN_CALLS)
    await asyncio.sleep(max(0.0, exit_at - time.monotonic()))
    if how == "sys-exit":
        sys.exit(3)
    if how == "exception":
        raise RuntimeError("unhandled at exit")
    if how == "os-exit":
        os._exit(4)
    # "end": the coroutine returns with the calls pending and the script ends


asyncio.run(main())
"""


@dataclass
class Tally:
    runs: int = 0
    abnormal: int = 0
    kinds: Counter = field(default_factory=Counter)
    samples: list = field(default_factory=list)  # (what, stderr) of the first abnormal runs
    seconds: float = 0.0


def child_env(pycache):
    """This environment without the client's configuration and proxies. The
    children keep compiled modules in `pycache`: thousands of interpreters
    that each compile asyncio from source would measure little else."""
    drop = ("http_proxy", "https_proxy", "all_proxy", "no_proxy", "pythondontwritebytecode")
    env = {k: v for k, v in os.environ.items() if not k.startswith("TAVIMOR_") and k.lower() not in drop}
    env["PYTHONPYCACHEPREFIX"] = str(pycache)
    return env


def run_once(endpoint, scenario, spread_ms, env):
    """One child; returns (what went wrong or None, its stderr, seconds)."""
    started = time.monotonic()
    try:
        done = subprocess.run(
            [sys.executable, "-c", CHILD, endpoint, scenario, str(LEAD_MS), str(spread_ms)],
            env=env, stdin=subprocess.DEVNULL, capture_output=True, text=True, errors="replace",
            timeout=HANG_SECONDS,
        )
    except subprocess.TimeoutExpired as stuck:
        stderr = stuck.stderr.decode(errors="replace") if isinstance(stuck.stderr, bytes) else stuck.stderr
        return f"hung (killed after {HANG_SECONDS} s)", stderr or "", time.monotonic() - started
    seconds = time.monotonic() - started
    status = done.returncode
    if status < 0:
        try:
            name = signal.Signals(-status).name
        except ValueError:
            name = str(-status)
        return f"killed by {name}", done.stderr, seconds
    if "Fatal Python error" in done.stderr:
        return "Fatal Python error", done.stderr, seconds
    if status != SCENARIOS[scenario]:
        return f"exit status {status}", done.stderr, seconds
    return None, done.stderr, seconds


def run_scenarios(endpoint, scenarios, runs, jobs=8, spread_ms=60, keep_samples=3, progress=None):
    """Runs every scenario `runs` times, `jobs` children at a time, the
    scenarios interleaved so that they share the machine's load alike."""
    tallies = {name: Tally() for name in scenarios}
    order = [name for _ in range(runs) for name in scenarios]
    with tempfile.TemporaryDirectory(prefix="exit-scenarios-pycache-") as pycache, ThreadPoolExecutor(jobs) as pool:
        env = child_env(pycache)
        results = pool.map(lambda name: (name, run_once(endpoint, name, spread_ms, env)), order)
        for index, (name, (what, stderr, seconds)) in enumerate(results, 1):
            tally = tallies[name]
            tally.runs += 1
            tally.seconds += seconds
            if what is not None:
                tally.abnormal += 1
                tally.kinds[what] += 1
                if len(tally.samples) < keep_samples:
                    tally.samples.append((what, stderr))
            if progress is not None:
                progress(index, len(order))
    return tallies


def print_table(tallies, elapsed, loads):
    print(f"{'scenario':12}{'runs':>8}{'abnormal':>10}{'rate':>14}{'mean s/run':>12}  kinds")
    for name, tally in tallies.items():
        rate = f"1 in {tally.runs / tally.abnormal:.0f}" if tally.abnormal else "0"
        kinds = ", ".join(f"{what}: {count}" for what, count in tally.kinds.most_common())
        print(f"{name:12}{tally.runs:>8}{tally.abnormal:>10}{rate:>14}{tally.seconds / max(tally.runs, 1):>12.2f}  {kinds}")
    print(f"{sum(t.runs for t in tallies.values())} runs in {elapsed:.0f} s; "
          f"load average {loads[0]:.1f} at start, {loads[1]:.1f} at end ({os.cpu_count()} cores)")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--runs", type=int, default=2000, help="runs of each scenario (default 2000)")
    parser.add_argument("--jobs", type=int, default=8, help="children at a time (default 8)")
    parser.add_argument("--scenarios", default=",".join(SCENARIOS))
    parser.add_argument("--spread-ms", type=float, default=60,
                        help="the answers are due over this many milliseconds from the exit on (default 60)")
    args = parser.parse_args()
    scenarios = args.scenarios.split(",")
    for name in scenarios:
        if name not in SCENARIOS:
            parser.error(f"unknown scenario {name!r}: expected one of {', '.join(SCENARIOS)}")

    def progress(done, total):
        if done % 500 == 0 or done == total:
            print(f"  {done}/{total} runs", file=sys.stderr, flush=True)

    loads = [os.getloadavg()[0]]
    started = time.monotonic()
    with ServerProcess([server_path(), "--direct"]) as server:
        tallies = run_scenarios(f"http://127.0.0.1:{server.port}", scenarios, args.runs, args.jobs,
                                args.spread_ms, progress=progress)
    loads.append(os.getloadavg()[0])
    print_table(tallies, time.monotonic() - started, loads)
    for name, tally in tallies.items():
        for what, stderr in tally.samples:
            lines = stderr.strip().splitlines()
            print(f"\n--- {name}: {what}; stderr ({len(lines)} lines, the last 15):")
            print("\n".join(lines[-15:]))
    sys.exit(1 if any(t.abnormal for t in tallies.values()) else 0)


if __name__ == "__main__":
    main()
