"""Throughput of several clients driven from one asyncio loop: 1, 2, 4 and 8
clients, each with its own connection and its calls in flight, all awaited in
the main thread's loop; next to it 8 loops in 8 threads with one client each.
The server is the gRPC C++ test server (revizer_test_server --direct) on
loopback. Each call is an adjudicates of several copies of the ~2.6 KB
tool-call event of bench_event.py, so that encoding and decoding load the
module's workers, and each client keeps 64 calls in flight.

Figures: calls per second (and events per second), the median and the best
of the repetitions, and the process's CPU time per wall second (how many
cores it kept busy).

    .venv/bin/python bench/python/bench_clients_one_loop.py [--seconds 5] [--repeats 3]
        [--in-flight 64] [--events-per-call 8]

Needs the build (scripts/test): REVIZER_BUILD_DIR names it (build/release).
"""
from __future__ import annotations

import argparse
import asyncio
import os
import pathlib
import statistics
import sys
import threading
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "peers"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from bench_client import server_path  # noqa: E402
from bench_event import TOOL_CALL_EVENT  # noqa: E402
from peer_process import ServerProcess  # noqa: E402
from tavimor_revizer_client import Event, RevizerClient  # noqa: E402

TOKEN = "bench-token"
WARM_UP_SECONDS = 1.0


async def keep_busy(clients, events, in_flight, seconds):
    """Calls ended while `in_flight` calls per client are kept going for
    `seconds`; the calls still running then are waited for and counted."""
    stop_at = time.monotonic() + seconds
    done = 0

    async def worker(client):
        nonlocal done
        while time.monotonic() < stop_at:
            await client.adjudicates(events)
            done += 1

    await asyncio.gather(*(worker(client) for client in clients for _ in range(in_flight)))
    return done


async def one_loop(endpoint, count, events, args):
    """Calls per second of `count` clients in this loop, one figure per repetition."""
    clients = [await RevizerClient.connect(endpoint, TOKEN) for _ in range(count)]
    await keep_busy(clients, events, args.in_flight, WARM_UP_SECONDS)
    rates = []
    for _ in range(args.repeats):
        rates.append(await timed(lambda: keep_busy(clients, events, args.in_flight, args.seconds)))
    return rates


async def timed(run):
    cpu, started = cpu_seconds(), time.monotonic()
    calls = await run()
    wall = time.monotonic() - started
    return calls / wall, (cpu_seconds() - cpu) / wall


def cpu_seconds():
    times = os.times()
    return times.user + times.system


def loops_in_threads(endpoint, count, events, args):
    """Calls per second of `count` threads, each with its own loop and client."""
    barrier = threading.Barrier(count + 1)
    counts = [0] * count

    def thread(index):
        async def main():
            client = await RevizerClient.connect(endpoint, TOKEN)
            await keep_busy([client], events, args.in_flight, WARM_UP_SECONDS)
            for _ in range(args.repeats):
                barrier.wait()
                counts[index] = await keep_busy([client], events, args.in_flight, args.seconds)
                barrier.wait()

        asyncio.run(main())

    threads = [threading.Thread(target=thread, args=(i,)) for i in range(count)]
    for t in threads:
        t.start()
    rates = []
    for _ in range(args.repeats):
        barrier.wait()
        cpu, started = cpu_seconds(), time.monotonic()
        barrier.wait()
        wall = time.monotonic() - started
        rates.append((sum(counts) / wall, (cpu_seconds() - cpu) / wall))
    for t in threads:
        t.join()
    return rates


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=5.0, help="length of one repetition (default 5)")
    parser.add_argument("--repeats", type=int, default=3)
    parser.add_argument("--in-flight", type=int, default=64, help="calls in flight per client (default 64)")
    parser.add_argument("--events-per-call", type=int, default=8)
    args = parser.parse_args()

    events = [Event.from_dict({**TOOL_CALL_EVENT, "event_id": f"evt-{i}"}) for i in range(args.events_per_call)]
    rows = []
    load_before = os.getloadavg()[0]
    with ServerProcess([server_path(), "--direct"]) as server:
        endpoint = f"http://127.0.0.1:{server.port}"
        for count in (1, 2, 4, 8):
            rows.append((f"one loop, {count} client{'s' if count > 1 else ''}", count,
                         asyncio.run(one_loop(endpoint, count, events, args))))
        rows.append(("8 loops in 8 threads", 8, loops_in_threads(endpoint, 8, events, args)))
    load_after = os.getloadavg()[0]

    size = len(events[0].to_json())
    print(f"each call: adjudicates of {args.events_per_call} events of {size} bytes of JSON; "
          f"{args.in_flight} calls in flight per client; {args.repeats} x {args.seconds:g} s; "
          f"server: revizer_test_server --direct")
    print(f"load average {load_before:.1f} before, {load_after:.1f} after ({os.cpu_count()} cores)")
    print(f"{'':26}{'clients':>8}{'calls/s':>10}{'best':>10}{'events/s':>11}{'cores busy':>12}")
    for name, count, rates in rows:
        median = statistics.median(rate for rate, _ in rates)
        best = max(rate for rate, _ in rates)
        busy = statistics.median(cpu for _, cpu in rates)
        print(f"{name:26}{count:>8}{median:>10.0f}{best:>10.0f}{median * args.events_per_call:>11.0f}{busy:>12.2f}")


if __name__ == "__main__":
    main()
