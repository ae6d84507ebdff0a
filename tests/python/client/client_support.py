"""Shared pieces of the client tests: events that pick a test server's
behaviour, endpoints of the server fixtures, and child interpreters with a
controlled environment for everything that reads the configuration."""

import asyncio
import json
import os
import pathlib
import subprocess
import sys
import textwrap

from tavimor_revizer_client import Agent, Event, RevizerClient, ShellCommand, ToolCall

ROOT = pathlib.Path(__file__).resolve().parents[3]
TOKEN = "test-token"


def run(call):
    """asyncio.run of what `call()` returns: the client's methods need the
    running loop when they are called, so they are called inside it."""

    async def main():
        return await call()

    return asyncio.run(main())


def endpoint(server):
    return f"http://127.0.0.1:{server.port}"


def client_for(server, token=TOKEN):
    return RevizerClient(endpoint(server), token)


def event(trajectory="trajectory-1", event_id=None, payload=None):
    """An event whose trajectory id picks the server's behaviour."""
    agent = Agent("agent-1", "openai")
    payload = payload if payload is not None else ToolCall("search", {"query": "weather in Paris"}, call_id="call-1")
    return Event(agent, trajectory, payload, event_id=event_id)


def shell_event(command, trajectory="trajectory-1"):
    return event(trajectory, payload=ShellCommand(command, call_id="call-sh"))


# Variables of the configuration; a child interpreter starts without them.
CONFIG_VARIABLES = (
    "TAVIMOR_API_TOKEN",
    "TAVIMOR_IAP_TOKEN",
    "TAVIMOR_REVIZER_ENDPOINT",
    "TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS",
    "TAVIMOR_USER_CONFIG_DIR",
    "TAVIMOR_HOME_DIR",
    "TAVIMOR_WINDOWS_MANAGED_CONFIG_DIR",
    "TAVIMOR_CREDENTIAL_SOURCE",
)


def child_env(home, **variables):
    env = {k: v for k, v in os.environ.items() if k not in CONFIG_VARIABLES and not k.endswith("_PROXY")}
    env = {k: v for k, v in env.items() if k.lower() not in ("http_proxy", "https_proxy", "all_proxy", "no_proxy")}
    env["HOME"] = str(home)
    env["PYTHONPATH"] = os.pathsep.join([str(ROOT / "tests" / "python" / "client"), env.get("PYTHONPATH", "")])
    env.update(variables)
    return env


def write_env_file(home, text):
    path = pathlib.Path(home) / ".tavimor" / "env"
    path.parent.mkdir(parents=True, exist_ok=True)
    path.write_text(text)
    return path


def run_child(code, home, timeout=60, **variables):
    """Runs `code` in a fresh interpreter with HOME=home and only the given
    configuration variables; returns the JSON it printed last."""
    done = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        env=child_env(home, **variables),
        capture_output=True,
        text=True,
        timeout=timeout,
    )
    if done.returncode != 0:
        raise AssertionError(f"child failed ({done.returncode}):\n{done.stdout}\n{done.stderr}")
    return json.loads(done.stdout.strip().splitlines()[-1])


def metadata_of(answer):
    """The request headers a behave:metadata answer reports."""
    return json.loads(answer.reason)


def sent_timeout_ms(text):
    """A "grpc-timeout" value in milliseconds."""
    units = {"n": 1e-6, "u": 1e-3, "m": 1.0, "S": 1000.0, "M": 60000.0, "H": 3600000.0}
    return int(text[:-1]) * units[text[-1]]


def sends_timeout_of(text, timeout_ms):
    """Whether "grpc-timeout" `text` is what is left of a `timeout_ms`
    deadline: it counts from the Python call, so a few milliseconds (more on
    a slow build) may have passed before the request was sent."""
    return timeout_ms - 50 < sent_timeout_ms(text) <= timeout_ms


# --- inside child interpreters ----------------------------------------------


def outcome(call):
    """What `call()` gave, as JSON-able data: {"ok": value} or the error."""
    try:
        return {"ok": call()}
    except Exception as error:
        return {"error": type(error).__name__, "text": str(error)}


def report(value):
    print(json.dumps(value))
