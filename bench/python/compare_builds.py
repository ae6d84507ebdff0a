"""Two builds of the client, timed alternately (A B A B ...) with the two
client benchmarks, and their figures side by side:

  client_bench     build/bench/client/client_bench --benchmark_filter=-Soak
                   --benchmark_repetitions=3 --benchmark_enable_random_interleaving=true
                   (ours against the gRPC C++ client; the ratios it prints)
  bench_client.py  bench/python/bench_client.py with REVIZER_BUILD_DIR=build
                   and PYTHONPATH=build/python_pkg (ours against grpc.aio)

Each run measures ours against its peer on the same server at the same
moment, so the ratio to the peer is the figure to compare: it takes out most
of the machine's drift between runs. The table shows each run's ratio, the
median per build, the change from A to B, and the spread between the runs of
one build (the noise). A change in the worse direction larger than the
noise is marked "worse?"; run more rounds before believing it.

    .venv/bin/python bench/python/compare_builds.py BUILD_A BUILD_B
        [--labels before,after] [--rounds 2] [--repetitions 3] [--quick]
        [--only client_bench|bench_client] [--out DIR]

e.g. BUILD_A=/work/base/build/release BUILD_B=build/release. Run on a quiet
machine: nothing else compiling or benchmarking. Every run's full output is
kept in --out (a new temporary directory by default). Both builds' benches
are run from their own build directory; bench_client.py is this checkout's.
"""
from __future__ import annotations

import argparse
import os
import pathlib
import re
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = pathlib.Path(__file__).resolve().parents[2]
BENCH_CLIENT = ROOT / "bench" / "python" / "bench_client.py"

# client_bench's ratio lines:
#   "  Unary         p50_us      ours      41.2 (3 runs)  GrpcCpp 60.1 ratio 0.69  GrpcCppQueue ..."
RATIO_LINE = re.compile(r"^\s+(\S+)\s+(\S+)\s+ours\s+([-\d.]+) \((\d+) runs\)(.*)$")
PEER = re.compile(r"\s+(\S+) ([-\d.]+) ratio ([-\d.]+)")
# bench_client.py's lines: label, ours, theirs, ratio (as printed: the target reads directly).
PY_LINES = {
    "p50 latency, one call (us)": ("latency p50 us", "lower"),
    "throughput, 64 in flight /s": ("throughput /s", "higher"),
    "adjudicates, 10,000 (ms)": ("adjudicates 10k ms", "higher"),  # printed as theirs/ours
    "  above the floor (ms)": ("  above the floor ms", "higher"),  # theirs/ours
}


def client_bench_figures(text):
    """{(measure, counter, peer): (ours, theirs, ratio)} and which way is better."""
    figures = {}
    for line in text.splitlines():
        match = RATIO_LINE.match(line)
        if not match:
            continue
        measure, counter, ours, _, rest = match.groups()
        for peer, theirs, ratio in PEER.findall(rest):
            figures[(measure, counter, peer)] = (float(ours), float(theirs), float(ratio))
    return figures


def client_bench_better(counter):
    # Latencies: a ratio below 1 is faster; calls per second: above 1.
    return "higher" if counter.endswith("per_s") else "lower"


def bench_client_figures(text):
    figures = {}
    for line in text.splitlines():
        for label, (name, _) in PY_LINES.items():
            if line[:28].rstrip() == label:  # bench_client.py pads its labels to 28
                numbers = line[28:].split()
                try:
                    figures[(name, "", "grpc.aio")] = (float(numbers[0]), float(numbers[1]), float(numbers[2]))
                except (IndexError, ValueError):
                    pass
    return figures


def run(command, env, log):
    started = time.monotonic()
    result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    log.write_text(result.stdout)
    took = time.monotonic() - started
    if result.returncode != 0:
        sys.exit(f"{' '.join(map(str, command))} failed (status {result.returncode}); its output: {log}")
    return result.stdout, took


def module_of(python, env):
    probe = subprocess.run([python, "-c", "import tavimor_revizer_client as m; print(m.__file__)"],
                           env=env, capture_output=True, text=True)
    return probe.stdout.strip() or probe.stderr.strip().splitlines()[-1]


def spread(values):
    """Relative spread of a build's runs: (max - min) / median."""
    if len(values) < 2:
        return 0.0
    middle = statistics.median(values)
    return (max(values) - min(values)) / abs(middle) if middle else 0.0


def table(title, runs, labels, better_of):
    """runs: {label: [figures of each run]}."""
    keys = []
    for figures in runs[labels[0]] + runs[labels[1]]:
        keys += [k for k in figures if k not in keys]
    a, b = labels
    rounds = max(len(runs[a]), len(runs[b]))
    print(f"\n{title}")
    header = "".join(f"{f'{label} {i + 1}':>9}" for label in labels for i in range(rounds))
    print(f"  {'':40}{'ours, median':>24}{'ratio of each run':>{9 * 2 * rounds}}{'median ratio':>26}")
    print(f"  {'figure / peer':40}{a:>12}{b:>12}{header}{a:>13}{b:>13}{'change':>9}{'noise':>8}")
    worse = []
    for key in keys:
        measure, counter, peer = key
        name = f"{measure} {counter}".strip() + f" / {peer}"
        ratios = {label: [f[key][2] for f in runs[label] if key in f] for label in labels}
        ours = {label: [f[key][0] for f in runs[label] if key in f] for label in labels}
        if not ratios[a] or not ratios[b]:
            continue
        per_run = "".join(f"{r:>9.2f}" for label in labels for r in ratios[label] + [float("nan")] * (rounds - len(ratios[label])))
        ma, mb = statistics.median(ratios[a]), statistics.median(ratios[b])
        change = mb / ma - 1 if ma else 0.0
        noise = max(spread(ratios[a]), spread(ratios[b]))
        higher = better_of(key) == "higher"
        is_worse = (change < -noise) if higher else (change > noise)
        mark = "  worse?" if is_worse else ""
        if is_worse:
            worse.append(name)
        print(f"  {name:40}{statistics.median(ours[a]):>12.1f}{statistics.median(ours[b]):>12.1f}{per_run}"
              f"{ma:>13.2f}{mb:>13.2f}{change * 100:>+8.1f}%{noise * 100:>7.1f}%{mark}")
    return worse


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("build_a", type=pathlib.Path)
    parser.add_argument("build_b", type=pathlib.Path)
    parser.add_argument("--labels", default="A,B", help="names of the two builds, e.g. before,after")
    parser.add_argument("--rounds", type=int, default=2, help="runs of each build per bench (A B A B: 2)")
    parser.add_argument("--repetitions", type=int, default=3, help="client_bench's --benchmark_repetitions")
    parser.add_argument("--quick", action="store_true", help="bench_client.py --quick")
    parser.add_argument("--only", choices=("client_bench", "bench_client"))
    parser.add_argument("--out", type=pathlib.Path, help="where each run's output is kept")
    parser.add_argument("--python", default=sys.executable, help="the interpreter of bench_client.py")
    args = parser.parse_args()

    labels = args.labels.split(",")
    if len(labels) != 2 or labels[0] == labels[1]:
        parser.error("--labels: two different names, e.g. before,after")
    builds = dict(zip(labels, (args.build_a.resolve(), args.build_b.resolve())))
    out = args.out or pathlib.Path(tempfile.mkdtemp(prefix="compare-builds-"))
    out.mkdir(parents=True, exist_ok=True)
    benches = [args.only] if args.only else ["client_bench", "bench_client"]

    envs = {}
    for label, build in builds.items():
        env = dict(os.environ, REVIZER_BUILD_DIR=str(build), PYTHONPATH=str(build / "python_pkg"))
        envs[label] = env
        if "client_bench" in benches and not (build / "bench" / "client" / "client_bench").exists():
            sys.exit(f"{build}/bench/client/client_bench is missing: build it first")
        if "bench_client" in benches:
            module = module_of(args.python, env)
            if not module.startswith(str(build / "python_pkg")):
                sys.exit(f"{label}: the module does not come from {build}/python_pkg: {module}")
        print(f"{label}: {build}")
    print(f"load average at start: {' '.join(f'{x:.1f}' for x in os.getloadavg())} ({os.cpu_count()} cores);"
          f" outputs in {out}")

    results = {bench: {label: [] for label in labels} for bench in benches}
    for round_ in range(args.rounds):
        for bench in benches:
            for label in labels:  # A B, A B, ...
                build = builds[label]
                if bench == "client_bench":
                    command = [build / "bench" / "client" / "client_bench", "--benchmark_filter=-Soak",
                               f"--benchmark_repetitions={args.repetitions}",
                               "--benchmark_enable_random_interleaving=true"]
                    parse = client_bench_figures
                else:
                    command = [args.python, BENCH_CLIENT] + (["--quick"] if args.quick else [])
                    parse = bench_client_figures
                log = out / f"{bench}-{label}-{round_ + 1}.txt"
                text, took = run([str(c) for c in command], envs[label], log)
                figures = parse(text)
                if not figures:
                    sys.exit(f"no figures found in {log}")
                results[bench][label].append(figures)
                print(f"  round {round_ + 1}: {bench} {label} done in {took:.0f} s", flush=True)

    worse = []
    if "client_bench" in results:
        worse += table("client_bench: ours / the gRPC C++ client (latency: below 1 is faster; calls_per_s: above 1)",
                       results["client_bench"], labels, lambda key: client_bench_better(key[1]))
    if "bench_client" in results:
        worse += table("bench_client.py: ours against grpc.aio, ratios as printed (latency: ours/theirs, below 1 is"
                       " faster; throughput: ours/theirs; adjudicates: theirs/ours, above 1 is faster)",
                       results["bench_client"], labels,
                       lambda key: next(b for n, b in PY_LINES.values() if n == key[0]))
    print(f"\nchange: median ratio of {labels[1]} against that of {labels[0]}; noise: the larger spread"
          f" (max - min) / median of one build's runs")
    print(f"load average at end: {' '.join(f'{x:.1f}' for x in os.getloadavg())}")
    if worse:
        print(f"worse beyond the noise of these runs: {', '.join(worse)}")
    else:
        print("no figure worse beyond the noise of these runs")


if __name__ == "__main__":
    main()
