"""Soak: 1,000,000 adjudicate calls against the gRPC C++ test server
(revizer_test_server --direct), 64 in flight, with the ~2.6 KB tool-call event
of bench_event.py. The process's resident memory and its open file
descriptors are taken after 100,000 calls and after all of them; the two
must agree within 5% (a leak of a few hundred bytes per call would show).

    .venv/bin/python bench/python/soak_client.py [CALLS]
Exits 1 when a figure grew by more than 5%.
"""
from __future__ import annotations

import asyncio
import gc
import os
import pathlib
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "peers"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

from bench_client import IN_FLIGHT, server_path  # noqa: E402
from bench_event import TOOL_CALL_EVENT  # noqa: E402
from peer_process import ServerProcess  # noqa: E402
from tavimor_revizer_client import Event, RevizerClient  # noqa: E402


def rss_kib():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def open_fds():
    return len(os.listdir("/proc/self/fd"))


async def soak(client, event, total, checkpoints):
    done = 0
    marks = {}

    async def worker():
        nonlocal done
        while done < total:
            done += 1
            await client.adjudicate(event)
            if done in checkpoints and done not in marks:
                gc.collect()
                marks[done] = (rss_kib(), open_fds(), time.perf_counter())

    await asyncio.gather(*(worker() for _ in range(IN_FLIGHT)))
    return marks


def main():
    total = int(sys.argv[1]) if len(sys.argv) > 1 else 1_000_000
    early = total // 10
    with ServerProcess([server_path(), "--direct"]) as server:
        client = RevizerClient(f"http://127.0.0.1:{server.port}", "soak-token")
        event = Event.from_dict(TOOL_CALL_EVENT)
        started = time.perf_counter()
        marks = asyncio.run(soak(client, event, total, {early, total}))
    elapsed = time.perf_counter() - started
    (rss_a, fds_a, _), (rss_b, fds_b, _) = marks[early], marks[total]
    print(f"{total} calls in {elapsed:.1f} s ({total / elapsed:.0f}/s)")
    print(f"after {early:>9} calls: RSS {rss_a} KiB, {fds_a} open descriptors")
    print(f"after {total:>9} calls: RSS {rss_b} KiB, {fds_b} open descriptors")
    rss_ratio, fd_ratio = rss_b / rss_a, fds_b / fds_a
    print(f"ratios (end / early): RSS {rss_ratio:.3f}, descriptors {fd_ratio:.3f} (limit 1.05)")
    sys.exit(0 if rss_ratio <= 1.05 and fd_ratio <= 1.05 else 1)


if __name__ == "__main__":
    main()
