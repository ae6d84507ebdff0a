"""Calls under faults: 256 adjudicate calls kept in flight for N minutes
against the gRPC C++ test server (revizer_test_server --direct) through the
fault relay (tests/peers/fault_relay.py), which closes, stalls, delays,
corrupts and refuses connections, sends GOAWAY and refuses streams on a
seeded schedule, with clean ("behave") phases in between. The call deadline
is short (500 ms by default, through TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS).

It checks these things and exits 1 when one fails:
  - every call ends within its deadline plus 100 ms (end minus start, as the
    caller's task sees it), and none is still pending at the end;
  - in every clean phase after a fault the client recovers: calls succeed
    again, and those that start in the second half of the phase and end
    within it all succeed;
  - no call fails because its stream was not processed: a stream reset with
    REFUSED_STREAM, or one above a GOAWAY's last stream id (the client's
    text names REFUSED_STREAM, GOAWAY or a connection "going away"). Such a
    stream can be sent again (RFC 9113 8.7). They are counted in every
    phase: the relay's goaway and refuse phases make them, a server's own
    GOAWAY after a corrupted frame can too;
  - the goaway and refuse phases (when in the schedule) really sent GOAWAYs
    and refused streams, as the relay counts them;
and it reports the process's RSS, open descriptors and threads at the start
(after the first clean phase), the middle and the end, which should be flat,
and the event loop's own lag (a figure above the 100 ms slack would explain
late calls on a loaded machine).

    .venv/bin/python bench/python/fault_injection.py [--minutes 3] [--seed 1]
        [--in-flight 256] [--deadline-ms 500] [--slack-ms 100] [--faults close,stall,...]

Needs the build (scripts/test): REVIZER_BUILD_DIR names it (build/release).
It ends with os._exit once it has reported, so that a client that cannot
exit does not keep it (exit_scenarios.py is the one that looks at exits).
"""
from __future__ import annotations

import argparse
import array
import asyncio
import faulthandler
import json
import os
import pathlib
import statistics
import subprocess
import sys
import time
from collections import Counter, defaultdict
from dataclasses import dataclass

ROOT = pathlib.Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "tests" / "peers"))
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

import fault_relay  # noqa: E402
from bench_client import server_path  # noqa: E402
from peer_process import PeerProcess, ServerProcess  # noqa: E402

TOKEN = "fault-token"
# Waited for calls still pending once the run is over, beyond their deadline.
PENDING_GRACE_SECONDS = 3.0


@dataclass
class Call:
    start: float
    end: float
    error: str | None  # None: the call succeeded


class CallLog:
    """Every call's start, end and error kind, in flat arrays: a list of
    objects would grow the process by ~150 bytes a call and blur its RSS."""

    def __init__(self):
        self.starts = array.array("d")
        self.ends = array.array("d")
        self.errors = array.array("H")  # 0: success, else 1 + index into kinds
        self.kinds = []
        self._index = {}

    def add(self, start, end, error):
        self.starts.append(start)
        self.ends.append(end)
        if error is None:
            self.errors.append(0)
            return
        if error not in self._index:
            self.kinds.append(error)
            self._index[error] = len(self.kinds)
        self.errors.append(self._index[error])

    def nbytes(self):
        return sum(a.buffer_info()[1] * a.itemsize for a in (self.starts, self.ends, self.errors))

    def __iter__(self):
        for start, end, error in zip(self.starts, self.ends, self.errors):
            yield Call(start, end, None if error == 0 else self.kinds[error - 1])

    def __len__(self):
        return len(self.starts)


# What the client's text says of a stream the server never processed.
REFUSED_MARKS = ("REFUSED_STREAM", "GOAWAY", "going away", "refused stream")
REFUSED_TAG = " [not processed]"


def error_kind(error):
    """The error text without what differs from call to call: up to the
    second colon; a failure from a stream that was not processed is tagged."""
    text = str(error).removeprefix("Adjudication failed: ")
    head = ":".join(text.split(":")[:2])
    kind = f"{type(error).__name__}: {head[:70]}"
    marks = [mark for mark in REFUSED_MARKS if mark.lower() in text.lower()]
    if marks:
        kind += f" ({marks[0]}){REFUSED_TAG}"
    return kind


def refused(error):
    return error is not None and error.endswith(REFUSED_TAG)


def process_sample(log=None):
    with open("/proc/self/status") as status:
        fields = dict(line.split(":", 1) for line in status if ":" in line)
    return {
        "rss_kib": int(fields["VmRSS"].split()[0]),
        "records_kib": 0 if log is None else log.nbytes() // 1024,
        "descriptors": len(os.listdir("/proc/self/fd")),
        "threads": int(fields["Threads"]),
    }


class LoopLag:
    """How late the loop runs a timer, sampled every 10 ms."""

    def __init__(self):
        self.samples = []  # (when, lag seconds)

    async def run(self, until):
        while time.monotonic() < until:
            before = time.monotonic()
            await asyncio.sleep(0.01)
            now = time.monotonic()
            self.samples.append((now, now - before - 0.01))


async def drive(client, event, args, run_end, samples, middle):
    calls = CallLog()

    async def worker():
        while time.monotonic() < run_end:
            start = time.monotonic()
            error = None
            try:
                await client.adjudicate(event)
            except Exception as failure:  # noqa: BLE001 - every failure is recorded
                error = error_kind(failure)
            calls.add(start, time.monotonic(), error)

    async def sample_middle():
        await asyncio.sleep(max(0.0, middle - time.monotonic()))
        samples["middle"] = process_sample(calls)

    lag = LoopLag()
    lag_task = asyncio.ensure_future(lag.run(run_end + PENDING_GRACE_SECONDS))
    middle_task = asyncio.ensure_future(sample_middle())
    tasks = [asyncio.ensure_future(worker()) for _ in range(args.in_flight)]
    await asyncio.sleep(max(0.0, run_end - time.monotonic()))
    # Each worker's last call started before run_end; give it its deadline and the grace.
    bound = args.deadline_ms / 1000 + args.slack_ms / 1000 + PENDING_GRACE_SECONDS
    done, pending = await asyncio.wait(tasks, timeout=bound)
    for task in pending:
        task.cancel()
    await middle_task
    lag_task.cancel()
    return calls, len(pending), lag.samples


def phase_of(phases, when):
    for phase in reversed(phases):
        if when >= phase["start"]:
            return phase
    return phases[0]


def analyse(calls, phases, limit):
    by_phase = defaultdict(list)
    for call in calls:
        by_phase[phase_of(phases, call.start)["phase"]].append(call)
    late = [c for c in calls if c.end - c.start > limit]
    recoveries = []
    for phase in phases[1:]:
        if phase["kind"] != fault_relay.BEHAVE:
            continue
        mine = by_phase.get(phase["phase"], [])
        ok = [c for c in mine if c.error is None]
        half = phase["start"] + (phase["end"] - phase["start"]) / 2
        settled = [c for c in mine if c.start >= half and c.end <= phase["end"]]
        first_ok = min((c.end for c in ok), default=None)
        recoveries.append({
            "phase": phase["phase"],
            "after": phases[phase["phase"] - 1]["kind"],
            "calls": len(mine),
            "ok": len(ok),
            "first_ok_s": None if first_ok is None else first_ok - phase["start"],
            "settled": len(settled),
            "settled_failed": sum(1 for c in settled if c.error is not None),
            "recovered": bool(ok) and bool(settled) and all(c.error is None for c in settled),
        })
    return by_phase, late, recoveries


def report(args, calls, phases, never_ended, lag_samples, samples, loads):
    limit = (args.deadline_ms + args.slack_ms) / 1000
    by_phase, late, recoveries = analyse(calls, phases, limit)
    print(f"{len(calls)} calls, {args.in_flight} in flight, deadline {args.deadline_ms} ms "
          f"(bound {args.deadline_ms + args.slack_ms} ms), seed {args.seed}, {len(phases)} phases")
    print(f"load average at start {loads[0]:.1f}, at end {loads[1]:.1f} ({os.cpu_count()} cores)")

    print(f"\n{'phase kind':14}{'phases':>7}{'calls':>9}{'ok':>9}{'failed':>9}{'calls/s':>9}"
          f"{'p50 ms':>8}{'max ms':>8}{'late':>6}{'unprocessed':>12}")
    kinds = defaultdict(lambda: [0, []])
    for phase in phases:
        kinds[phase["kind"]][0] += 1
        kinds[phase["kind"]][1] += by_phase.get(phase["phase"], [])
    for kind, (count, mine) in sorted(kinds.items()):
        seconds = sum(p["end"] - p["start"] for p in phases if p["kind"] == kind)
        durations = [(c.end - c.start) * 1000 for c in mine] or [0.0]
        ok = sum(1 for c in mine if c.error is None)
        print(f"{kind:14}{count:>7}{len(mine):>9}{ok:>9}{len(mine) - ok:>9}{len(mine) / seconds:>9.0f}"
              f"{statistics.median(durations):>8.0f}{max(durations):>8.0f}"
              f"{sum(1 for c in mine if c.end - c.start > limit):>6}{sum(1 for c in mine if refused(c.error)):>12}")
    print("  (unprocessed: calls failed over a stream the server did not process, REFUSED_STREAM or GOAWAY)")
    # Calls in flight as a fault phase begins count in the clean phase before it (by their start).
    edges = [min(c.start - phase["start"], phase["end"] - c.start)
             for c in calls if refused(c.error) and (phase := phase_of(phases, c.start))["kind"] == fault_relay.BEHAVE]
    if edges:
        print(f"  of them in clean phases: {len(edges)}, all started within {max(edges) * 1000:.0f} ms of a fault phase"
              f" (calls in flight as it began or ended)")

    relay_counts = relay_report(phases)

    errors = Counter(c.error for c in calls if c.error is not None)
    if errors:
        print("\nerrors:")
        for text, count in errors.most_common(12):
            print(f"  {count:>8}  {text}")

    print(f"\nrecovery in the clean phase after each fault ({sum(r['recovered'] for r in recoveries)}"
          f" of {len(recoveries)} recovered):")
    print(f"  {'phase':>5}  {'after':13}{'calls':>8}{'ok':>8}{'first ok s':>11}{'settled':>9}{'of them failed':>15}")
    for r in recoveries:
        first = "-" if r["first_ok_s"] is None else f"{r['first_ok_s']:.2f}"
        mark = "" if r["recovered"] else "  NOT RECOVERED"
        print(f"  {r['phase']:>5}  {r['after']:13}{r['calls']:>8}{r['ok']:>8}{first:>11}{r['settled']:>9}"
              f"{r['settled_failed']:>15}{mark}")

    print("\nprocess:")
    for name in ("start", "middle", "end"):
        sample = samples.get(name)
        if sample:
            print(f"  {name:7} RSS {sample['rss_kib']:>8} KiB (less the call records: "
                  f"{sample['rss_kib'] - sample['records_kib']:>8} KiB)  descriptors {sample['descriptors']:>5}"
                  f"  threads {sample['threads']:>4}")
    lags = sorted(lag for _, lag in lag_samples) or [0.0]
    print(f"event loop lag: p50 {lags[len(lags) // 2] * 1000:.1f} ms, p99 {lags[int(len(lags) * 0.99)] * 1000:.1f} ms,"
          f" max {lags[-1] * 1000:.1f} ms")

    violations = []
    unprocessed = Counter(phase_of(phases, c.start)["kind"] for c in calls if refused(c.error))
    if unprocessed:
        violations.append(f"{sum(unprocessed.values())} calls failed over a stream the server did not process"
                          f" (REFUSED_STREAM or GOAWAY): "
                          + ", ".join(f"{count} in {kind} phases" for kind, count in unprocessed.most_common()))
    for kind, what, key in (("goaway", "sent no GOAWAY", "goaways"), ("refuse", "refused no stream", "refused")):
        if kind in relay_counts and not relay_counts[kind][key]:
            violations.append(f"not exercised: the relay's {kind} phases {what}")
    if late:
        worst = max(c.end - c.start for c in late)
        violations.append(f"{len(late)} calls ended later than {limit * 1000:.0f} ms (worst {worst * 1000:.0f} ms)")
    if never_ended:
        violations.append(f"{never_ended} calls never ended")
    lost = [r for r in recoveries if not r["recovered"]]
    if lost:
        violations.append(f"no recovery after {len(lost)} faults: "
                          + ", ".join(f"{r['after']} (phase {r['phase']})" for r in lost))
    print()
    for violation in violations:
        print(f"VIOLATION: {violation}")
    if not violations:
        print("OK: every call ended by its deadline, none failed over an unprocessed stream, "
              "and the client recovered after every fault")
    return 1 if violations else 0


RELAY_COUNTS = ("goaways", "dropped", "refused", "graceful_goaways")


def relay_report(phases):
    """What the relay did in each kind of phase (from its cumulative counts,
    printed as each phase begins and as the schedule ends), printed for the
    goaway and refuse phases; returned for every kind."""
    per_kind = defaultdict(Counter)
    for phase in phases:
        following = phase.get("next_counts")
        if following is None:
            continue
        for key in RELAY_COUNTS:
            per_kind[phase["kind"]][key] += following.get(key, 0) - phase.get(key, 0)
    shown = [kind for kind in ("goaway", "refuse") if kind in per_kind]
    if shown:
        print("\nthe relay, in the phases of streams not processed:")
        print(f"  {'phase kind':12}{'GOAWAYs':>9}{'streams dropped':>17}{'streams refused':>17}{'graceful GOAWAYs':>18}")
        for kind in shown:
            c = per_kind[kind]
            print(f"  {kind:12}{c['goaways']:>9}{c['dropped']:>17}{c['refused']:>17}{c['graceful_goaways']:>18}")
        print("  (dropped: above the last stream id of a GOAWAY, never passed to the server; refused: reset\n"
              "   with REFUSED_STREAM by the second upstream; graceful: last stream id 2^31-1, nothing dropped)")
    return per_kind


def read_phases(relay):
    phases = []
    while (line := relay.read_line(timeout=0.5)) is not None:
        phases.append(json.loads(line))
    return phases


async def connect(endpoint):
    from tavimor_revizer_client import RevizerClient

    return await asyncio.wait_for(RevizerClient.connect(endpoint, TOKEN), 20)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--minutes", type=float, default=3.0)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--in-flight", type=int, default=256)
    parser.add_argument("--deadline-ms", type=int, default=500)
    parser.add_argument("--slack-ms", type=int, default=100)
    parser.add_argument("--faults", default=",".join(fault_relay.FAULTS))
    parser.add_argument("--fault-seconds", default="2:4")
    parser.add_argument("--behave-seconds", default="6:8")
    args = parser.parse_args()

    # Read when the client connects.
    os.environ["TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS"] = str(args.deadline_ms)
    schedule_args = ["--seed", str(args.seed), "--duration", str(args.minutes * 60), "--faults", args.faults,
                     "--fault-seconds", args.fault_seconds, "--behave-seconds", args.behave_seconds]
    schedule = fault_relay.make_schedule(args.seed, args.minutes * 60, args.faults.split(","),
                                         fault_relay.parse_span(args.fault_seconds),
                                         fault_relay.parse_span(args.behave_seconds))
    total = sum(phase.seconds for phase in schedule)
    # Should the loop itself never get back control, this still ends the run, with the threads' stacks.
    faulthandler.dump_traceback_later(total + 120, exit=True)

    from tavimor_revizer_client import Agent, Event, ToolCall

    event = Event(Agent("agent-fault", "openai"), "fault-trajectory",
                  ToolCall("search", {"query": "weather in Paris"}, call_id="call-1"))
    status = 1
    # Corrupted requests make the server's protobuf library complain on stderr, once per request.
    with ServerProcess([server_path(), "--direct"], stderr=subprocess.DEVNULL) as server:
        relay = PeerProcess([sys.executable, str(ROOT / "tests" / "peers" / "fault_relay.py"),
                             "--upstream-port", str(server.port), *schedule_args])
        try:
            port = int(relay.read_line())
            first = relay.read_line()  # the first clean phase has begun
            relay_start = json.loads(first)["start"]
            run_end = relay_start + total
            samples = {}
            loads = [os.getloadavg()[0]]

            async def run():
                client = await connect(f"http://127.0.0.1:{port}")
                # Warm up in the first clean phase; the start figures are taken as it ends.
                warm_until = relay_start + schedule[0].seconds
                while time.monotonic() < warm_until - 0.5:
                    await client.adjudicate(event)
                samples["start"] = process_sample()
                log, never_ended, lags = await drive(client, event, args, run_end, samples, relay_start + total / 2)
                samples["end"] = process_sample(log)
                return list(log), never_ended, lags

            calls, never_ended, lag_samples = asyncio.run(run())
            loads.append(os.getloadavg()[0])
            lines = [json.loads(first)] + read_phases(relay)
            # Each phase gets the relay's counts as the next one began (or the schedule ended).
            for line, following in zip(lines, lines[1:]):
                line["next_counts"] = following
            phases = [line for line in lines if line["kind"] != fault_relay.END]
            for phase in phases:
                phase["end"] = min(phase["end"], run_end)
            status = report(args, calls, phases, never_ended, lag_samples, samples, loads)
        finally:
            relay.stop()
    sys.stdout.flush()
    os._exit(status)


if __name__ == "__main__":
    main()
