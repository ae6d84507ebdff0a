"""RevizerClient's three ways of getting connected, against the C++ test
server: the blocking constructor with its configuration, connect and
connect_default with theirs, the errors, the docs and the protocol methods."""

import asyncio

import pytest

from client_support import (
    TOKEN,
    client_for,
    endpoint,
    event,
    metadata_of,
    run,
    run_child,
    sends_timeout_of,
    write_env_file,
)
from tavimor_revizer_client import RevizerClient

MALFORMED = "GOOD=1\nnot a line\n"
PARSE_ERROR = "Error parsing line: 'not a line', error at line index: 10"
NO_TOKEN = (
    "No token provided and TAVIMOR_API_TOKEN not set "
    "(checked TAVIMOR_API_TOKEN, TAVIMOR_TOKEN, and ~/.tavimor/env)"
)
NO_DEFAULT_TOKEN = "TAVIMOR_API_TOKEN not set (checked TAVIMOR_API_TOKEN and ~/.tavimor/env)"

# A child that connects one way and reports the headers its first call sent.
CHILD = """
import asyncio
from client_support import event, metadata_of, outcome, report, run
from tavimor_revizer_client import RevizerClient

async def headers(client):
    return metadata_of(await client.adjudicate(event("behave:metadata")))

{body}
"""


def child(body, home, **variables):
    return run_child(CHILD.format(body=body), home, **variables)


@pytest.fixture(scope="module")
def server(cpp_server):
    return cpp_server


def test_constructor_with_both_arguments_reads_no_env_file(server, tmp_path):
    write_env_file(tmp_path, MALFORMED + "TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS=250\n")
    result = child(
        f"c = RevizerClient({endpoint(server)!r}, 'tok')\n"
        "report(outcome(lambda: asyncio.run(headers(c))))",
        tmp_path,
    )
    # The file's timeout is not applied: no configuration was loaded.
    assert sends_timeout_of(result["ok"]["grpc-timeout"], 7000)
    assert result["ok"]["authorization"] == "Bearer tok"


# Only the endpoint, or only the token, is missing: the malformed file fails
# the load either way.
@pytest.mark.parametrize("arguments", ["token='tok'", "endpoint='{ep}'"])
def test_constructor_configuration_errors(server, tmp_path, arguments):
    write_env_file(tmp_path, MALFORMED)
    code = f"report(outcome(lambda: repr(RevizerClient({arguments.format(ep=endpoint(server))}))))"
    assert child(code, tmp_path) == {"error": "RuntimeError", "text": "Failed to load config: " + PARSE_ERROR}


def test_constructor_without_any_token(server, tmp_path):
    code = f"report(outcome(lambda: repr(RevizerClient({endpoint(server)!r}))))"
    # TAVIMOR_TOKEN is named in the message but read by nothing.
    assert child(code, tmp_path, TAVIMOR_TOKEN="ignored") == {"error": "RuntimeError", "text": NO_TOKEN}


def test_constructor_takes_what_is_missing_from_the_configuration(server, tmp_path):
    write_env_file(
        tmp_path,
        f"TAVIMOR_API_TOKEN=file-token\nTAVIMOR_REVIZER_ENDPOINT={endpoint(server)}\n"
        "TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS=250\nTAVIMOR_IAP_TOKEN=iap-token\n",
    )
    result = child("report(outcome(lambda: asyncio.run(headers(RevizerClient()))))", tmp_path)
    # The timeout that the load copied into the environment counts; the IAP
    # token is never used by the constructor.
    assert sends_timeout_of(result["ok"]["grpc-timeout"], 250)
    assert result["ok"]["authorization"] == "Bearer file-token"
    assert result["ok"]["x-api-key"] is None


def test_environment_wins_over_the_env_file(server, tmp_path):
    write_env_file(tmp_path, "TAVIMOR_API_TOKEN=file-token\n")
    code = f"report(outcome(lambda: asyncio.run(headers(RevizerClient({endpoint(server)!r})))))"
    result = child(code, tmp_path, TAVIMOR_API_TOKEN="env-token")
    assert result["ok"]["authorization"] == "Bearer env-token"


def test_connect_default_uses_the_iap_token(server, tmp_path):
    write_env_file(tmp_path, f"TAVIMOR_REVIZER_ENDPOINT={endpoint(server)}\n")
    code = (
        "async def main():\n"
        "    return await headers(await RevizerClient.connect_default())\n"
        "report(outcome(lambda: asyncio.run(main())))"
    )
    result = child(code, tmp_path, TAVIMOR_API_TOKEN="api", TAVIMOR_IAP_TOKEN="iap")
    assert result["ok"]["authorization"] == "Bearer iap"
    assert result["ok"]["x-api-key"] == "api"


def test_connect_default_reads_the_timeout_after_loading(server, tmp_path):
    write_env_file(
        tmp_path,
        f"TAVIMOR_REVIZER_ENDPOINT={endpoint(server)}\nTAVIMOR_API_TOKEN=t\n"
        "TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS=250\n",
    )
    code = (
        "async def main():\n"
        "    first = await headers(await RevizerClient.connect_default())\n"
        "    second = await headers(await RevizerClient.connect_default())\n"
        "    return [first['grpc-timeout'], second['grpc-timeout']]\n"
        "report(outcome(lambda: asyncio.run(main())))"
    )
    # The env file's value counts from the first client on: the same
    # configuration gives the same deadline every time.
    first, second = child(code, tmp_path)["ok"]
    assert sends_timeout_of(first, 250) and sends_timeout_of(second, 250), (first, second)


@pytest.mark.parametrize(
    "env_file, expected",
    [
        (None, "Failed to connect: configuration error: " + NO_DEFAULT_TOKEN),
        (MALFORMED, "Failed to connect: configuration error: " + PARSE_ERROR),
    ],
)
def test_connect_default_errors(tmp_path, env_file, expected):
    if env_file is not None:
        write_env_file(tmp_path, env_file)
    code = "report(outcome(lambda: run(RevizerClient.connect_default)))"
    assert child(code, tmp_path) == {"error": "RuntimeError", "text": expected}


def test_connect_resolves_to_a_client(server):
    async def main():
        client = await RevizerClient.connect(endpoint(server), TOKEN)
        return client, await client.adjudicate(event())

    client, answer = asyncio.run(main())
    assert repr(client) == "RevizerClient(mode='grpc')"
    assert answer.reason == "action/tool_call"


REFUSED = "Failed to connect: transport setup failed: Failed to connect to 'http://127.0.0.1:1': transport error: "


@pytest.mark.parametrize(
    "ep, token, prefix",
    [
        ("", "t", "Failed to connect: transport setup failed: Invalid endpoint URL '': empty string"),
        ("/only/a/path", "t", "Failed to connect: transport setup failed: Endpoint URL '/only/a/path' has no host"),
        ("http://127.0.0.1:1", "t", REFUSED),
    ],
)
def test_connect_failures_read_alike_on_every_path(ep, token, prefix):
    with pytest.raises(RuntimeError) as blocking:
        RevizerClient(ep, token)
    with pytest.raises(RuntimeError) as awaited:
        run(lambda: RevizerClient.connect(ep, token))
    for error in (blocking.value, awaited.value):
        assert str(error).startswith(prefix) and (prefix == REFUSED or str(error) == prefix)


def test_a_refused_header_value_fails_after_the_connection(server):
    with pytest.raises(RuntimeError) as error:
        RevizerClient(endpoint(server), "bad\ntoken")
    assert str(error.value) == (
        "Failed to connect: authentication setup failed: Auth interceptor setup failed: "
        "code: 'Internal error', message: \"Invalid bearer token value\""
    )


def test_empty_token_is_sent_as_given(server):
    answer = run(lambda: client_for(server, token="").adjudicate(event("behave:metadata")))
    assert metadata_of(answer)["authorization"] == "Bearer "


def test_static_constructors_need_a_running_loop():
    # Nothing is connected: the loop lookup fails at the call.
    for call in (lambda: RevizerClient.connect("http://127.0.0.1:1", "t"), RevizerClient.connect_default):
        with pytest.raises(RuntimeError) as error:
            call()
        assert str(error.value) == "no running event loop"


@pytest.mark.parametrize(
    "call, text, note",
    [
        (lambda: RevizerClient(endpoint=5), "'int' object is not an instance of 'str'", "while processing 'endpoint'"),
        (lambda: RevizerClient(None, b"t"), "'bytes' object is not an instance of 'str'", "while processing 'token'"),
        (lambda: RevizerClient.connect("a"), "RevizerClient.connect() missing 1 required positional argument: 'token'",
         None),
        (lambda: RevizerClient.connect(token="t", endpoint=None), "'None' is not an instance of 'str'",
         "while processing 'endpoint'"),
        (lambda: RevizerClient.connect_default(1), "RevizerClient.connect_default() takes no arguments (1 given)", None),
    ],
)
def test_argument_errors(call, text, note):
    with pytest.raises(TypeError) as error:
        call()
    assert str(error.value) == text
    assert getattr(error.value, "__notes__", [None]) == [note]


def test_protocol_methods_and_identity(server):
    first, second = client_for(server), client_for(server)
    assert repr(first) == str(first) == "RevizerClient(mode='grpc')"
    assert first.__enter__() is first
    assert first.__exit__(None, None, None) is False
    assert first != second and first == first
    assert {first: 1, second: 2}[first] == 1
    with pytest.raises(KeyError):
        with first as entered:
            assert entered is first
            raise KeyError("propagates")
    # Nothing was closed by the block.
    assert run(lambda: first.adjudicate(event())).reason == "action/tool_call"
    with pytest.raises(TypeError):
        type("Sub", (RevizerClient,), {})


DOCS = {
    "connect": (
        "connect(endpoint, token)\n--\n\nConnect to a Revizer gRPC endpoint asynchronously.\n\nArgs:\n"
        "    endpoint: The gRPC endpoint URL.\n    token: Bearer token for authentication.\n\nReturns:\n"
        "    A new :class:`RevizerClient` instance.\n\nRaises:\n    RuntimeError: If the connection fails."
    ),
    "connect_default": (
        "connect_default()\n--\n\nConnect using default settings from ``~/.tavimor/env`` and environment\n"
        "variables. Returns a coroutine.\n\nRaises:\n"
        "    RuntimeError: If no API token is configured or connection fails."
    ),
    "__enter__": "__enter__($self)\n--\n\n",
    "__exit__": "__exit__($self, _exc_type, _exc_val, _exc_tb)\n--\n\n",
    "adjudicate": (
        "adjudicate($self, event)\n--\n\nAdjudicate a single event against configured policies.\n\nArgs:\n"
        "    event: An :class:`Event`, a dict (from ``Event.to_dict()``), or a JSON string.\n\nReturns:\n"
        "    An :class:`Adjudicated` result with decision, reason, and policy metadata.\n\nRaises:\n"
        "    ValueError: If ``event`` cannot be deserialized.\n    RuntimeError: If adjudication fails."
    ),
    "adjudicates": (
        "adjudicates($self, events)\n--\n\nAdjudicate a batch of events against configured policies.\n\nArgs:\n"
        "    events: A list of :class:`Event` objects, dicts, or JSON strings to evaluate.\n\nReturns:\n"
        "    A list of :class:`Adjudicated` results, one per input event.\n\nRaises:\n"
        "    ValueError: If any element cannot be deserialized.\n    RuntimeError: If adjudication fails."
    ),
}


@pytest.mark.parametrize("name", DOCS)
def test_method_docs(name):
    signature, _, text = DOCS[name].partition("\n--\n\n")
    member = vars(RevizerClient)[name]
    member = getattr(member, "__func__", member)
    assert member.__doc__ == (text or None)
    assert member.__text_signature__ == signature[len(name):]


def test_class_doc_runs_as_written(server):
    assert RevizerClient.__text_signature__ == "(endpoint=None, token=None)"
    doc = RevizerClient.__doc__
    assert doc.startswith("gRPC client for the Tavimor Revizer Service.\n\n")
    example = doc.split("Example::\n\n", 1)[1]
    code = "\n".join(line[4:] for line in example.splitlines())
    code = code.replace('"https://revizer.example.com"', repr(endpoint(server)))
    namespace = {}
    exec(compile(code, "<doc example>", "exec"), namespace)
