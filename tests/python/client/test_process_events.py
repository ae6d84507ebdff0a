"""What happens around the client's process: fork() (os.fork and
multiprocessing's fork start method), interpreter exit with calls in flight,
and Python code changing os.environ while runtime tasks read it. Each case
runs in a child interpreter of its own."""

import subprocess
import sys
import textwrap

import pytest

from client_support import child_env, endpoint, run_child

BEFORE_FORK = "client was created before the process forked; create a new client in this process"

PRELUDE = """
import asyncio, json, os, sys, threading, time, warnings
warnings.simplefilter("ignore", DeprecationWarning)  # fork() of a process with threads
from client_support import event, outcome, report, run
from tavimor_revizer_client import RevizerClient
EP = {ep!r}
"""


def child(server, body, home, **variables):
    code = PRELUDE.format(ep=endpoint(server)) + textwrap.dedent(body)
    return run_child(code, home, **variables)


def test_os_fork(cpp_server, tmp_path):
    result = child(
        cpp_server,
        """
        client = RevizerClient(EP, "t")
        before = run(lambda: client.adjudicate(event())).reason
        read, write = os.pipe()
        pid = os.fork()
        if pid == 0:
            found = {
                "old": outcome(lambda: run(lambda: client.adjudicate(event()))),
                "old_batch": outcome(lambda: run(lambda: client.adjudicates([event()]))),
                "new": outcome(lambda: run(lambda: RevizerClient(EP, "t").adjudicate(event())).reason),
            }
            del client  # released in the child without touching the parent's connection
            os.write(write, json.dumps(found).encode())
            os._exit(0)
        os.close(write)
        found = json.loads(os.read(read, 65536))
        os.waitpid(pid, 0)
        found["parent"] = [before, run(lambda: client.adjudicate(event())).reason]
        report(found)
        """,
        tmp_path,
    )
    assert result == {
        "old": {"error": "RuntimeError", "text": "Adjudication failed: revizer unavailable: " + BEFORE_FORK},
        "old_batch": {
            "error": "RuntimeError",
            "text": f"Adjudication failed: code: 'The service is currently unavailable', message: \"{BEFORE_FORK}\"",
        },
        "new": {"ok": "action/tool_call"},
        "parent": ["action/tool_call", "action/tool_call"],
    }


def test_multiprocessing_fork(cpp_server, tmp_path):
    result = child(
        cpp_server,
        """
        import multiprocessing

        CLIENT = RevizerClient(EP, "t")
        run(lambda: CLIENT.adjudicate(event()))

        def inherited():
            return outcome(lambda: run(lambda: CLIENT.adjudicate(event())))

        def fresh(n):
            client = RevizerClient(EP, "t")
            return [a.reason for a in run(lambda: client.adjudicates([event()] * n))]

        with multiprocessing.get_context("fork").Pool(2) as pool:
            found = {"inherited": pool.apply(inherited), "fresh": pool.map(fresh, [1, 2, 3])}
        found["parent"] = run(lambda: CLIENT.adjudicate(event())).reason
        report(found)
        """,
        tmp_path,
    )
    assert result == {
        "inherited": {"error": "RuntimeError", "text": "Adjudication failed: revizer unavailable: " + BEFORE_FORK},
        "fresh": [["action/tool_call"] * n for n in (1, 2, 3)],
        "parent": "action/tool_call",
    }


EXIT_SCRIPT = """
import asyncio, sys, threading, time
from client_support import event
from tavimor_revizer_client import RevizerClient

client = RevizerClient({ep!r}, "t")
started = threading.Event()

def calls():
    async def main():
        # -X dev turns on asyncio's debug mode; its notes on slow steps are not the point here.
        asyncio.get_running_loop().slow_callback_duration = 60
        futures = [client.adjudicate(event("behave:never-answer")) for _ in range(100)]
        started.set()
        await asyncio.gather(*futures, return_exceptions=True)
        await asyncio.Event().wait()  # the loop lives on while the process exits
    asyncio.run(main())

threading.Thread(target=calls, daemon=True).start()
started.wait()
time.sleep({linger})
print("exiting", flush=True)
sys.exit(3)
"""


@pytest.mark.parametrize("timeout_ms, linger", [(7000, 0.2), (300, 0.25), (50, 0.05), (1, 0.0)])
@pytest.mark.parametrize("tls", [False, True])
def test_exit_with_calls_in_flight(cpp_server, tls_server, tmp_path, timeout_ms, linger, tls):
    # Deadlines that fire before, during and after the interpreter's
    # finalization: results must never reach a finalizing interpreter.
    server, extra = (tls_server if tls else (cpp_server, {}))
    ep = f"https://localhost:{server.port}" if tls else endpoint(server)
    code = EXIT_SCRIPT.format(ep=ep, linger=linger)
    env = child_env(tmp_path, TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS=str(timeout_ms), **extra)
    done = subprocess.run([sys.executable, "-X", "dev", "-c", code], env=env, capture_output=True, text=True,
                          timeout=30)
    assert (done.returncode, done.stdout, done.stderr) == (3, "exiting\n", "")


@pytest.fixture(scope="module")
def tls_server(test_certs):
    from peer_fixtures import cpp_server_path
    from peer_process import ServerProcess

    with ServerProcess([cpp_server_path(), "--tls-cert", test_certs.server_cert, "--tls-key", test_certs.server_key]) as server:
        yield server, {"SSL_CERT_FILE": test_certs.ca}


def test_environment_changes_while_tasks_load_the_configuration(cpp_server, tmp_path):
    result = child(
        cpp_server,
        """
        stop = threading.Event()

        def churn():
            n = 0
            while not stop.is_set():
                os.environ[f"CHURN_{n % 50}"] = "x" * (n % 300)
                os.environ.pop(f"CHURN_{(n + 25) % 50}", None)
                n += 1

        worker = threading.Thread(target=churn)
        worker.start()

        async def main():
            clients = await asyncio.gather(*(RevizerClient.connect_default() for _ in range(200)))
            return [a.reason for a in await asyncio.gather(*(c.adjudicate(event()) for c in clients[:5]))]

        try:
            found = outcome(lambda: run(main))
        finally:
            stop.set()
            worker.join()
        report(found)
        """,
        tmp_path,
        TAVIMOR_API_TOKEN="t",
        TAVIMOR_REVIZER_ENDPOINT=endpoint(cpp_server),
    )
    assert result == {"ok": ["action/tool_call"] * 5}
