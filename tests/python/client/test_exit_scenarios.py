"""The process exits while answers land: each way of leaving (sys.exit, an
unhandled exception, the end of the script, os._exit), with calls from the
main thread's loop and from daemon threads' loops whose answers arrive as
the interpreter finalizes, run in many child interpreters (the scenarios of
bench/python/exit_scenarios.py). A crash there is rare per run, hence the
number of runs; none may die, hang or exit with another status."""

import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[3] / "bench" / "python"))

import exit_scenarios  # noqa: E402
from client_support import endpoint  # noqa: E402

# 600 children in all: some 15 s on 8 idle cores, a minute on busy ones.
RUNS_PER_SCENARIO = 150


@pytest.fixture(scope="module")
def tallies(cpp_server):
    return exit_scenarios.run_scenarios(endpoint(cpp_server), list(exit_scenarios.SCENARIOS), RUNS_PER_SCENARIO)


@pytest.mark.parametrize("scenario", list(exit_scenarios.SCENARIOS))
def test_exit_with_answers_landing(tallies, scenario):
    tally = tallies[scenario]
    samples = "\n".join(f"--- {what}:\n{stderr[-3000:]}" for what, stderr in tally.samples)
    assert (tally.runs, dict(tally.kinds)) == (RUNS_PER_SCENARIO, {}), samples
