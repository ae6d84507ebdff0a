"""The answers of the test gRPC servers: the first request event's trajectory
id picks the behaviour of a call ("behave:<name>[:<argument>]"; the table is
in tests/peers/README.md). The C++ server (peer_behaviour.cpp) builds the same
answers byte for byte; a test holds the two to that.

Answer payloads are written as google.protobuf.Struct bytes by hand, so that
the order of their keys is ours to choose: every other answer lists its keys
backwards, and clients must sort them themselves.
"""

import json
import struct
from dataclasses import dataclass

from revizer_stubs import pb2

PREFIX = "behave:"

STATUS_NAMES = (
    "OK CANCELLED UNKNOWN INVALID_ARGUMENT DEADLINE_EXCEEDED NOT_FOUND ALREADY_EXISTS "
    "PERMISSION_DENIED RESOURCE_EXHAUSTED FAILED_PRECONDITION ABORTED OUT_OF_RANGE "
    "UNIMPLEMENTED INTERNAL UNAVAILABLE DATA_LOSS UNAUTHENTICATED"
).split()

PLAIN = {
    "echo",
    "missing-payload",
    "bad-payload",
    "never-answer",
    "close-connection",
    "metadata",
    "no-message",
    "bad-protobuf",
}
NUMBERED = {"deny-at", "delay-ms", "answer-size"}

# Field numbers of the parts written by hand.
_RESPONSE_EVENTS, _EVENT_PAYLOAD, _RESPONSE_PADDING, _RESPONSE_FILLER = 1, 7, 15, 14


class BehaviourError(ValueError):
    """A request that asks for something the servers cannot do (INVALID_ARGUMENT)."""


@dataclass(frozen=True)
class Behaviour:
    kind: str = "default"
    number: int = 0
    message: str = ""


def _number(text):
    # As std::from_chars reads a decimal: an optional '-', then digits only.
    digits = text[1:] if text.startswith("-") else text
    if not digits or not digits.isascii() or not digits.isdigit():
        raise ValueError(text)
    return int(text)


def behaviour_of(request):
    """The behaviour that `request` (an AdjudicatesRequest) asks for."""
    if not request.events:
        return Behaviour()
    trajectory_id = request.events[0].trajectory_id
    if not trajectory_id.startswith(PREFIX):
        return Behaviour()
    try:
        return _parse(trajectory_id[len(PREFIX) :])
    except ValueError:
        raise BehaviourError(f"unknown or malformed behaviour '{trajectory_id}'") from None


def _parse(spec):
    name, colon, argument = spec.partition(":")
    if name in PLAIN and not colon:
        return Behaviour(name)
    if name.startswith("wrong-count") and not colon:
        count = name[len("wrong-count") :]
        if count.startswith("+") and not count.startswith("+-"):
            count = count[1:]
        elif not count.startswith("-"):
            raise ValueError(spec)
        number = _number(count)
        if number == 0:
            raise ValueError(spec)
        return Behaviour("wrong-count", number)
    if name == "status":
        code, split, message = argument.partition(":")
        if not split:
            raise ValueError(spec)
        try:
            number = _number(code)
        except ValueError:
            number = STATUS_NAMES.index(code) if code in STATUS_NAMES else -1
        # OK cannot end a call that answers nothing: that is "no-message".
        if not 1 <= number <= 16:
            raise ValueError(spec)
        return Behaviour("status", number, message)
    if name in NUMBERED and colon:
        number = _number(argument)
        if number < 0:
            raise ValueError(spec)
        return Behaviour(name, number)
    raise ValueError(spec)


# --- google.protobuf.Struct written in the order of a dict ------------------


def _varint(value):
    out = bytearray()
    while value >= 0x80:
        out.append(value & 0x7F | 0x80)
        value >>= 7
    out.append(value)
    return bytes(out)


def wire_field(number, payload):
    """A length-delimited protobuf field."""
    return _varint(number << 3 | 2) + _varint(len(payload)) + payload



def encode_value(value):
    """google.protobuf.Value bytes of a JSON-shaped Python value."""
    if value is None:
        return b"\x08\x00"  # a oneof member is written even when it is zero
    if isinstance(value, bool):
        return b"\x20" + (b"\x01" if value else b"\x00")
    if isinstance(value, (int, float)):
        return b"\x11" + struct.pack("<d", float(value))
    if isinstance(value, str):
        return wire_field(3, value.encode())
    if isinstance(value, list):
        return wire_field(6, b"".join(wire_field(1, encode_value(v)) for v in value))
    if isinstance(value, dict):
        return wire_field(5, encode_struct(value))
    raise TypeError(f"no Struct form for {type(value).__name__}")


def encode_struct(obj):
    """google.protobuf.Struct bytes of a dict, its entries in the dict's order."""
    return b"".join(wire_field(1, wire_field(1, k.encode()) + wire_field(2, encode_value(v))) for k, v in obj.items())


def reversed_keys(value):
    if isinstance(value, dict):
        return {k: reversed_keys(v) for k, v in reversed(list(value.items()))}
    if isinstance(value, list):
        return [reversed_keys(v) for v in value]
    return value


# --- answers -----------------------------------------------------------------


def default_payload(event):
    return {
        "decision": "Allow",
        "mode": "monitor",
        "reason": f"{event.event_type}/{event.event_name}",
        "metadata": [
            {
                "policy_id": "peer-default",
                "description": "allows every event",
                "metadata": {"peer": "revizer-test-peer", "answer": "default"},
            }
        ],
        "policy_sources": [
            {
                "name": "peer-policies",
                "version": 3,
                "labels": {"tier": "test", "scope": "loopback"},
                "policies": [{"name": "peer-default"}],
            }
        ],
    }


def struct_to_python(message):
    """A Struct as plain Python data (numbers as floats, as the wire holds them)."""
    from google.protobuf import json_format

    return json_format.MessageToDict(message)


def echo_json(event):
    """The request event as JSON: its header fields, the timestamp as its two
    numbers (a leap-second instant has no RFC 3339 form in protobuf's JSON),
    and the payload."""
    timestamp = None
    if event.HasField("timestamp"):
        timestamp = {"seconds": float(event.timestamp.seconds), "nanos": float(event.timestamp.nanos)}
    echo = {
        "event_id": event.event_id,
        "trajectory_id": event.trajectory_id,
        "agent_id": event.agent_id,
        "timestamp": timestamp,
        "event_type": event.event_type,
        "event_name": event.event_name,
        "payload": struct_to_python(event.payload) if event.HasField("payload") else None,
    }
    return json.dumps(echo, ensure_ascii=False, separators=(",", ":"))


def answer_event(request_event, payload):
    """One answer event: the request event's identifiers and time, typed as the
    Adjudicated control event, with `payload` (a dict; None for none)."""
    answer = pb2.Event(
        event_id=request_event.event_id,
        trajectory_id=request_event.trajectory_id,
        agent_id=request_event.agent_id,
        event_type="control",
        event_name="adjudicated",
    )
    if request_event.HasField("timestamp"):
        answer.timestamp.CopyFrom(request_event.timestamp)
    data = answer.SerializeToString()
    if payload is not None:
        data += wire_field(_EVENT_PAYLOAD, encode_struct(payload))
    return data


def _pad_to(answer, target):
    """Pads an answer with fields it does not define (every decoder skips them)
    to exactly `target` bytes."""
    for filler in (False, True):
        base = answer
        if filler:
            # Some lengths cannot be reached with one padding field (its
            # length prefix grows a byte at 128, 16384, ...); two bytes first help.
            base += _varint(_RESPONSE_FILLER << 3) + b"\x00"
        if target < len(base) + 2:
            break
        room = target - len(base) - 1  # after the padding field's key
        for prefix in range(1, min(10, room) + 1):
            padding = room - prefix
            if len(_varint(padding)) == prefix:
                return base + wire_field(_RESPONSE_PADDING, bytes(padding))
    raise BehaviourError(f"answer-size:{target} leaves no room for the answer's {len(answer)} bytes")


def answer_bytes(request, behaviour, metadata_report=""):
    """The answer message of a behaviour that answers with one."""
    if behaviour.kind == "bad-protobuf":
        return b"\x08\x01"  # field 1 (events) with the varint wire type
    count = len(request.events)
    if behaviour.kind == "deny-at" and behaviour.number >= count:
        raise BehaviourError(f"deny-at:{behaviour.number} names no event of the {count} in the request")
    answers = max(0, count + behaviour.number) if behaviour.kind == "wrong-count" else count
    out = bytearray()
    for i in range(answers):
        event = request.events[i] if i < count else pb2.Event(event_id=f"extra-{i - count}")
        payload = default_payload(event)
        if behaviour.kind == "echo":
            payload["reason"] = echo_json(event)
        if behaviour.kind == "metadata":
            payload["reason"] = metadata_report
        if i >= count:
            payload["reason"] = "an answer beyond the request's events"
        if i == 0 and behaviour.kind == "bad-payload":
            payload = {"mode": "monitor", "reason": "this answer has no decision"}
        if behaviour.kind == "deny-at" and i == behaviour.number:
            payload = {"decision": "Deny", "mode": "govern", "reason": "denied by behave:deny-at"}
        if i % 2 == 1:
            payload = reversed_keys(payload)
        without_payload = i == 0 and behaviour.kind == "missing-payload"
        out += wire_field(_RESPONSE_EVENTS, answer_event(event, None if without_payload else payload))
    if behaviour.kind == "answer-size":
        return _pad_to(bytes(out), behaviour.number)
    return bytes(out)


def header_text(value):
    """A header value as text, as grpcio gives metadata: UTF-8 when the bytes
    are UTF-8, else one code point per byte."""
    if isinstance(value, str):
        return value
    try:
        return value.decode("utf-8")
    except UnicodeDecodeError:
        return value.decode("latin-1")


def report_values(values):
    """One header's values for the metadata report: None, a text, or a list."""
    values = [header_text(v) for v in values]
    if not values:
        return None
    return values[0] if len(values) == 1 else values
