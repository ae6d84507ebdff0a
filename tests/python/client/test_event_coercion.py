"""The events adjudicate and adjudicates take: Event objects, objects with
to_json(), dicts and JSON text, tried in that order, with their exact texts.
Conversion happens at the call, so refusals need no server and no loop; what
is accepted reaches the C++ test server, which echoes the envelope back."""

import json

import pytest

from client_support import client_for, event, run
from tavimor_revizer_client import (
    AgentCard,
    AgentCardMetadata,
    CodingAgentCard,
    CodingAgentCardCapabilities,
    Event,
    Tool,
)

UNNORMALIZED = (
    "E_UNNORMALIZED_TRAJECTORY_EVENT: event payload must be a normalized trajectory event envelope. "
    "Upgrade the Tavimor revizer client and map provider hook data into typed event fields. "
    "payload must be a JSON object event envelope."
)
EXPECTED = "Expected an Event object, dict, or JSON string"


class WithToJson:
    def __init__(self, result):
        self.result = result

    def to_json(self):
        if isinstance(self.result, BaseException):
            raise self.result
        return self.result


class DictWithToJson(dict):
    def to_json(self):
        raise ValueError("not this way")


@pytest.fixture(scope="module")
def client(cpp_server):
    return client_for(cpp_server)


def refusal(client, value):
    with pytest.raises(ValueError) as error:
        client.adjudicate(value)
    return str(error.value)


@pytest.mark.parametrize(
    "value, text",
    [
        (WithToJson("nope"), "Invalid Event JSON: expected ident at line 1 column 2"),
        (WithToJson("[1]"), UNNORMALIZED),
        (WithToJson("{}"), "Invalid Event JSON: missing field `event_id`"),
        ({}, "Invalid Event dict: missing field `event_id`"),
        ({**event().to_dict(), "event_id": 5}, "Invalid Event dict: invalid type: integer `5`, expected a string"),
        ("{}", "Invalid Event JSON string: missing field `event_id`"),
        ("[]", UNNORMALIZED),
        ("nope", "Invalid Event JSON string: expected ident at line 1 column 2"),
        ('{"a":1,}', "Invalid Event JSON string: trailing comma at line 1 column 8"),
        # A dict that cannot become JSON is no dict to this conversion.
        ({1: 2}, EXPECTED),
        ({"size": 2**70}, EXPECTED),
        # to_json() that gives no text is passed over; the object is no dict.
        (WithToJson({"event_id": "x"}), EXPECTED),
        (WithToJson(ValueError("broken")), EXPECTED),
        ([1], EXPECTED),
        ((1,), EXPECTED),
        (b"{}", EXPECTED),
        (None, EXPECTED),
        (5, EXPECTED),
        (Tool("t", "d", []), EXPECTED),  # a data class of another kind
        (DictWithToJson(), "Invalid Event dict: missing field `event_id`"),
    ],
)
def test_refusals(client, value, text):
    assert refusal(client, value) == text


def with_actor_type(actor_type):
    envelope = event().to_dict()
    envelope["actor"]["actor_type"] = actor_type
    return envelope


@pytest.mark.parametrize(
    "shape, prefix",
    [
        (lambda envelope: envelope, "Invalid Event dict: "),
        (json.dumps, "Invalid Event JSON string: "),
        (lambda envelope: WithToJson(json.dumps(envelope)), "Invalid Event JSON: "),
    ],
)
def test_refusal_texts_keep_a_nul(client, shape, prefix):
    text = refusal(client, shape(with_actor_type("Ag\x00ent")))
    assert text == prefix + "unknown variant `Ag\x00ent`, expected one of `Human`, `Agent`, `System`, `Policy`"


def echoed(client, value):
    return json.loads(run(lambda: client.adjudicate(value)).reason)["payload"]


def test_every_shape_sends_the_same_envelope(client):
    original = event("behave:echo", event_id="evt-shapes")
    sent = [echoed(client, shape) for shape in (original, original.to_dict(), original.to_json(),
                                                 WithToJson(original.to_json()))]
    assert all(payload == sent[0] for payload in sent)
    assert Event.from_dict(original.to_dict()) == original == Event.from_json(original.to_json())
    # The caller's object stays usable.
    assert original.event_id == "evt-shapes"


def test_raw_hook_data_is_normalised_before_decoding(client):
    envelope = event("behave:echo").to_dict()
    card = CodingAgentCard(
        metadata=AgentCardMetadata(schema_version="1", hook_version="1"),
        workspace_root="",
        execution_mode="default",
        capabilities=CodingAgentCardCapabilities(),
    )
    envelope["agent"]["card"] = AgentCard.coding(card).to_dict()
    envelope["raw"] = {"cwd": "/home/dev/project", "hook_event_name": " PreToolUse "}
    payload = echoed(client, envelope)
    assert "raw" not in payload
    card = payload["agent"]["card"]["CodingAgentCard"]
    assert card["workspace_root"] == "/home/dev/project"
    assert card["normalized_context"] == {"codex.hook_event_name": "PreToolUse"}


class Interrupting:
    def __init__(self, error):
        self.error = error

    def __str__(self):
        raise self.error


@pytest.mark.parametrize("error", [KeyboardInterrupt, SystemExit])
def test_interrupts_are_never_swallowed(client, error):
    # From to_json(): the event is not sent, the interrupt goes on.
    with pytest.raises(error):
        client.adjudicate(WithToJson(error()))
    # From str() of a value inside a dict.
    envelope = event().to_dict()
    envelope["event"]["payload"]["data"]["arguments"] = {"x": Interrupting(error())}
    with pytest.raises(error):
        client.adjudicate(envelope)
    with pytest.raises(error):
        client.adjudicates([event(), envelope])


def test_an_exception_from_str_is_passed_over(client):
    envelope = event().to_dict()
    envelope["event"]["payload"]["data"]["arguments"] = {"x": Interrupting(ValueError("no text"))}
    assert refusal(client, envelope) == EXPECTED


def test_the_panic_of_a_changed_dict_goes_on(client):
    class Growing:
        def __init__(self, owner):
            self.owner = owner

        def __str__(self):
            self.owner["added"] = 1
            return "grown"

    arguments = {}
    arguments["a"] = Growing(arguments)
    arguments["b"] = 1
    envelope = event().to_dict()
    envelope["event"]["payload"]["data"]["arguments"] = arguments
    with pytest.raises(BaseException) as error:
        client.adjudicate(envelope)
    assert type(error.value).__name__ == "PanicException" and not isinstance(error.value, Exception)
    assert str(error.value) == "dictionary changed size during iteration"
