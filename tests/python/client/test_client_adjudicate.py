"""adjudicate and adjudicates end to end against both test servers (the gRPC
C++ library's and grpcio's): results, the two error-text paths, batches,
argument errors, and calls that outlive their client object."""

import asyncio
import gc
import json

import pytest

from client_support import client_for, event, run
from tavimor_revizer_client import Adjudicated, Decision, Mode, RevizerClient, ToolCall

LIMIT = 16 * 1024 * 1024


@pytest.fixture(scope="module")
def client(revizer_server):
    return client_for(revizer_server)


def test_adjudicate_decodes_the_answer(client):
    answer = run(lambda: client.adjudicate(event(event_id="evt-1")))
    assert isinstance(answer, Adjudicated)
    assert (answer.decision, answer.mode, answer.reason) == (Decision.ALLOW, Mode.MONITOR, "action/tool_call")
    assert answer.metadata[0].policy_id == "peer-default"
    assert answer.metadata[0].metadata == {"peer": "revizer-test-peer", "answer": "default"}
    (source,) = answer.policy_sources
    assert (source.name, source.version, source.labels) == ("peer-policies", 3, {"tier": "test", "scope": "loopback"})


def test_the_wire_event_carries_the_envelope(client):
    sent = event("behave:echo", event_id="evt-echo")
    echo = json.loads(run(lambda: client.adjudicate(sent)).reason)
    assert {k: echo[k] for k in ("event_id", "trajectory_id", "agent_id", "event_type", "event_name")} == {
        "event_id": "evt-echo",
        "trajectory_id": "behave:echo",
        "agent_id": "agent-1",
        "event_type": "action",
        "event_name": "tool_call",
    }
    assert echo["payload"]["event"]["payload"]["data"]["arguments"] == {"query": "weather in Paris"}
    assert echo["payload"]["event_id"] == "evt-echo"


def test_adjudicates_takes_every_shape_in_order(client):
    first = event("behave:deny-at:1", event_id="a")
    shapes = [first, event(event_id="b").to_dict(), event(event_id="c").to_json()]
    for events in (shapes, tuple(shapes)):
        answers = run(lambda: client.adjudicates(events))
        assert [a.decision for a in answers] == [Decision.ALLOW, Decision.DENY, Decision.ALLOW]
        assert type(answers) is list


def test_adjudicates_of_nothing_is_an_empty_list(client):
    assert run(lambda: client.adjudicates([])) == []


# The two paths show different texts for the same failure: adjudicate derives
# the adjudication error (the status message alone), adjudicates shows the
# client error (the gRPC status text).
FAILURES = [
    (
        "behave:status:UNAUTHENTICATED:token refused",
        "unauthenticated: token refused",
        "code: 'The request does not have valid authentication credentials', message: \"token refused\"",
    ),
    (
        "behave:status:UNAVAILABLE:down \"now\"",
        "revizer unavailable: down \"now\"",
        "code: 'The service is currently unavailable', message: \"down \\\"now\\\"\"",
    ),
    ("behave:status:INTERNAL:", "server error: ", "code: 'Internal error'"),
    ("behave:status:NOT_FOUND:gone", "not found: gone", "code: 'Some requested entity was not found', message: \"gone\""),
    (
        "behave:status:INVALID_ARGUMENT:no",
        "invalid request: no",
        "code: 'Client specified an invalid argument', message: \"no\"",
    ),
    (
        "behave:missing-payload",
        "decode error: Cannot deserialize adjudication response: validation error: "
        "invalid adjudication DTO: could not decode payload for event 'evt-x'",
        "decode error: Cannot deserialize adjudication response: validation error: "
        "invalid adjudication DTO: could not decode payload for event 'evt-x'",
    ),
    (
        "behave:wrong-count+1",
        "decode error: Expected 1 adjudication responses, received 2",
        "decode error: Expected 1 adjudication responses, received 2",
    ),
]


@pytest.mark.parametrize("trajectory, single, batch", FAILURES)
def test_failure_texts_of_both_paths(client, trajectory, single, batch):
    sent = event(trajectory, event_id="evt-x")
    with pytest.raises(RuntimeError) as one:
        run(lambda: client.adjudicate(sent))
    with pytest.raises(RuntimeError) as many:
        run(lambda: client.adjudicates([sent]))
    assert str(one.value) == "Adjudication failed: " + single
    assert str(many.value) == "Adjudication failed: " + batch


def test_the_deadline_of_each_call(revizer_server, monkeypatch):
    monkeypatch.setenv("TAVIMOR_REVIZER_ADJUDICATES_TIMEOUT_MS", "150")
    client = client_for(revizer_server)  # the timeout is read when it connects
    sent = event("behave:never-answer")
    with pytest.raises(RuntimeError) as one:
        run(lambda: client.adjudicate(sent))
    with pytest.raises(RuntimeError) as many:
        run(lambda: client.adjudicates([sent]))
    # The server sees the same deadline in "grpc-timeout": under load its own
    # DEADLINE_EXCEEDED may arrive just before the client's timer fires.
    assert str(one.value) in (
        "Adjudication failed: revizer deadline exceeded: Timeout expired",
        "Adjudication failed: revizer deadline exceeded: Deadline Exceeded",
    )
    assert str(many.value) in (
        "Adjudication failed: code: 'The operation was cancelled', message: \"Timeout expired\"",
        "Adjudication failed: code: 'Deadline expired before operation could complete', message: \"Deadline Exceeded\"",
    )


def large_event(trajectory, size, event_id):
    return event(trajectory, event_id=event_id, payload=ToolCall("write", {"blob": "x" * size}, call_id="c"))


def test_a_denial_while_another_batch_failed(client):
    # Two events of 9 MiB travel in two requests; each request's first event
    # picks what the server does with it.
    events = [
        large_event("behave:status:UNAVAILABLE:second batch lost", 9 << 20, "a"),
        large_event("behave:deny-at:0", 9 << 20, "b"),
    ]
    with pytest.raises(RuntimeError) as error:
        run(lambda: client.adjudicates(events))
    assert str(error.value) == (
        "Adjudication failed: adjudication was denied while another batch chunk failed: "
        "code: 'The service is currently unavailable', message: \"second batch lost\""
    )


def test_an_event_beyond_the_request_limit(client):
    too_large = large_event("t", LIMIT, "big")
    with pytest.raises(RuntimeError) as one:
        run(lambda: client.adjudicate(too_large))
    with pytest.raises(RuntimeError) as many:
        run(lambda: client.adjudicates([event(), too_large]))
    one_text, many_text = str(one.value), str(many.value)
    assert one_text.startswith("Adjudication failed: invalid request: adjudication event 0 encodes to ")
    assert many_text.startswith("Adjudication failed: adjudication event 1 encodes to ")
    assert many_text.endswith(f" bytes, exceeding the {LIMIT}-byte gRPC request limit")


@pytest.mark.parametrize(
    "events, text, note",
    [
        ("[]", "Can't extract `str` to `Vec`", "while processing 'events'"),
        ({"a": 1}, "'dict' object is not an instance of 'Sequence'", "while processing 'events'"),
        ((e for e in []), "'generator' object is not an instance of 'Sequence'", "while processing 'events'"),
        (None, "'None' is not an instance of 'Sequence'", "while processing 'events'"),
    ],
)
def test_adjudicates_needs_a_sequence(client, events, text, note):
    with pytest.raises(TypeError) as error:
        client.adjudicates(events)
    assert str(error.value) == text
    assert error.value.__notes__ == [note]


def test_an_iteration_error_names_the_argument(client):
    class Broken:
        def __len__(self):
            raise OSError("no length")  # only a hint: discarded

        def __getitem__(self, index):
            if index == 1:
                raise LookupError("broken sequence")
            return event()

    with pytest.raises(LookupError) as error:
        client.adjudicates(Broken())
    assert str(error.value) == "broken sequence"
    assert error.value.__notes__ == ["while processing 'events'"]


def test_the_first_unusable_element_is_raised_unchanged(client):
    converted = []

    class Recorded:
        def to_json(self):
            converted.append(self)
            return event().to_json()

    with pytest.raises(ValueError) as error:
        client.adjudicates([event(), 42, Recorded()])
    assert str(error.value) == "Expected an Event object, dict, or JSON string"
    assert not hasattr(error.value, "__notes__")
    assert converted == []  # the third element was never looked at


def test_argument_errors_come_before_the_loop_lookup(client):
    with pytest.raises(ValueError, match="^Expected an Event object"):
        client.adjudicate(42)
    with pytest.raises(RuntimeError, match="^no running event loop$"):
        client.adjudicate(event())
    with pytest.raises(RuntimeError, match="^no running event loop$"):
        client.adjudicates([event()])
    with pytest.raises(TypeError) as missing:
        client.adjudicate()
    assert str(missing.value) == "RevizerClient.adjudicate() missing 1 required positional argument: 'event'"


def test_calls_outlive_the_client_object(revizer_server):
    async def main():
        client = client_for(revizer_server)
        futures = [client.adjudicate(event("behave:delay-ms:200", event_id=f"e{i}")) for i in range(50)]
        futures.append(client.adjudicates([event("behave:delay-ms:200")] * 3))
        del client
        gc.collect()
        return await asyncio.gather(*futures)

    answers = run(main)
    assert len(answers) == 51 and len(answers[-1]) == 3
    assert all(a.decision == Decision.ALLOW for a in answers[:-1])


def test_a_refused_token_is_not_retried(revizer_server):
    # The server refuses every call of this trajectory; the client makes one.
    client = RevizerClient(f"http://127.0.0.1:{revizer_server.port}", "wrong")
    with pytest.raises(RuntimeError, match="^Adjudication failed: unauthenticated: no$"):
        run(lambda: client.adjudicate(event("behave:status:16:no")))
