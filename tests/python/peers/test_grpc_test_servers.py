"""The two gRPC test servers (gRPC C++ and grpcio) checked with grpcio's own
client, so that they are known to be right before our client is tested
against them: every behaviour once on each, and the two held to the same
answers byte for byte."""

import json
import re
import signal
import time

import grpc
import pytest
from google.protobuf import json_format

import peer_answers
from peer_fixtures import cpp_server_path, grpcio_server_argv
from peer_process import ServerProcess
from revizer_stubs import METHOD, pb2

PAYLOAD = {
    "event_id": "evt-0",
    "trajectory_id": "t",
    "agent": {"id": "agent-1", "provider": "p", "platform": "", "card": {"ReActAgentCard": {}}},
    "timestamp": "2025-03-04T05:06:07.120Z",
    "event": {
        "category": "Action",
        "payload": {"type": "ToolCall", "data": {"call_id": "c1", "tool": "grep", "arguments": {"b": 1, "a": [True, None, "x"]}}},
    },
}


def make_request(trajectory_id, count=3):
    request = pb2.AdjudicatesRequest()
    for i in range(count):
        event = request.events.add(
            event_id=f"evt-{i}", trajectory_id=trajectory_id, agent_id="agent-1", event_type="action", event_name="tool_call"
        )
        event.timestamp.seconds = 1741064767
        event.timestamp.nanos = 120_000_000
        json_format.ParseDict(PAYLOAD, event.payload)
    return request


def call(port, request, timeout=5.0, metadata=None, raw=False):
    """One Adjudicates call; the answer message (bytes when `raw`), or the
    grpc.RpcError the call ended with."""
    with grpc.insecure_channel(f"127.0.0.1:{port}", options=[("grpc.max_receive_message_length", -1)]) as channel:
        method = channel.unary_unary(METHOD)
        try:
            answer = method(request.SerializeToString(), timeout=timeout, metadata=metadata)
        except grpc.RpcError as error:
            return error
    return answer if raw else pb2.AdjudicatesResponse.FromString(answer)


def wire_fields(data):
    """(number, bytes) of the length-delimited fields of a message, in wire order."""
    i = 0
    while i < len(data):
        key, i = _varint(data, i)
        number, kind = key >> 3, key & 7
        if kind == 2:
            length, i = _varint(data, i)
            yield number, data[i : i + length]
            i += length
        elif kind == 0:
            _, i = _varint(data, i)
        elif kind == 1:
            i += 8
        else:
            raise ValueError(f"wire type {kind}")


def _varint(data, i):
    value = shift = 0
    while True:
        byte = data[i]
        i += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if byte < 0x80:
            return value, i


def payload_keys(answer):
    """The payload Struct keys of each answer event, in the order sent."""
    keys = []
    for _, event in wire_fields(answer):
        payloads = [p for n, p in wire_fields(event) if n == 7]
        keys.append([dict(wire_fields(entry))[1].decode() for _, entry in wire_fields(payloads[0])] if payloads else None)
    return keys


# --- the two servers agree -----------------------------------------------------

AGREEING = [
    "plain",
    "behave:wrong-count+2",
    "behave:wrong-count-1",
    "behave:missing-payload",
    "behave:bad-payload",
    "behave:deny-at:1",
    "behave:delay-ms:20",
    "behave:answer-size:5000",
    "behave:bad-protobuf",
]


@pytest.mark.parametrize("trajectory_id", AGREEING)
def test_both_servers_send_the_same_bytes(cpp_server, grpcio_server, trajectory_id):
    request = make_request(trajectory_id)
    cpp = call(cpp_server.port, request, raw=True)
    python = call(grpcio_server.port, request, raw=True)
    assert isinstance(cpp, bytes), cpp
    assert cpp == python


@pytest.mark.parametrize(
    "trajectory_id",
    ["behave:bogus", "behave:echo:1", "behave:wrong-count+0", "behave:status:0:ok", "behave:status:17:x",
     "behave:deny-at:3", "behave:deny-at:-1", "behave:delay-ms", "behave:answer-size:10"],
)
def test_both_servers_refuse_the_same_bad_behaviours(cpp_server, grpcio_server, trajectory_id):
    request = make_request(trajectory_id)
    cpp, python = call(cpp_server.port, request), call(grpcio_server.port, request)
    assert cpp.code() == python.code() == grpc.StatusCode.INVALID_ARGUMENT
    assert cpp.details() == python.details()
    assert trajectory_id in cpp.details() or trajectory_id.split(":", 1)[1] in cpp.details()


# --- each behaviour, on each server --------------------------------------------


def reason(event):
    return event.payload.fields["reason"].string_value


def test_default_answers_echo_ids_and_allow(revizer_server):
    answer = call(revizer_server.port, make_request("plain"))
    assert [e.event_id for e in answer.events] == ["evt-0", "evt-1", "evt-2"]
    for event in answer.events:
        assert (event.trajectory_id, event.agent_id, event.event_type, event.event_name) == (
            "plain", "agent-1", "control", "adjudicated"
        )
        assert event.timestamp.seconds == 1741064767
        payload = json_format.MessageToDict(event.payload)
        assert payload["decision"] == "Allow" and payload["mode"] == "monitor"
        assert payload["reason"] == "action/tool_call"
        assert payload["policy_sources"][0]["version"] == 3.0


def test_answer_keys_are_never_sorted(revizer_server):
    keys = payload_keys(call(revizer_server.port, make_request("plain"), raw=True))
    declared = ["decision", "mode", "reason", "metadata", "policy_sources"]
    assert keys == [declared, declared[::-1], declared]
    assert all(k != sorted(k) for k in keys)


def test_echo_reports_the_request_event(revizer_server):
    request = make_request("behave:echo", count=2)
    answer = call(revizer_server.port, request)
    for sent, got in zip(request.events, answer.events):
        echo = json.loads(reason(got))
        assert echo["event_id"] == sent.event_id and echo["event_name"] == "tool_call"
        assert echo["timestamp"] == {"seconds": 1741064767, "nanos": 120_000_000}
        assert echo["payload"] == json_format.MessageToDict(sent.payload)


def test_echo_of_an_event_without_payload_or_time(revizer_server):
    request = pb2.AdjudicatesRequest(events=[pb2.Event(trajectory_id="behave:echo")])
    echo = json.loads(reason(call(revizer_server.port, request).events[0]))
    assert echo == {"event_id": "", "trajectory_id": "behave:echo", "agent_id": "", "timestamp": None,
                    "event_type": "", "event_name": "", "payload": None}


@pytest.mark.parametrize(
    "trajectory_id, ids",
    [("behave:wrong-count+1", ["evt-0", "evt-1", "evt-2", "extra-0"]),
     ("behave:wrong-count-2", ["evt-0"]),
     ("behave:wrong-count-5", [])],
)
def test_wrong_count(revizer_server, trajectory_id, ids):
    assert [e.event_id for e in call(revizer_server.port, make_request(trajectory_id)).events] == ids


def test_missing_and_bad_payload_touch_only_the_first_answer(revizer_server):
    missing = call(revizer_server.port, make_request("behave:missing-payload")).events
    assert not missing[0].HasField("payload")
    assert all(e.payload.fields["decision"].string_value == "Allow" for e in missing[1:])
    bad = call(revizer_server.port, make_request("behave:bad-payload")).events
    assert "decision" not in bad[0].payload.fields and bad[0].HasField("payload")
    assert all(e.payload.fields["decision"].string_value == "Allow" for e in bad[1:])


def test_deny_at(revizer_server):
    events = call(revizer_server.port, make_request("behave:deny-at:2")).events
    assert [e.payload.fields["decision"].string_value for e in events] == ["Allow", "Allow", "Deny"]


@pytest.mark.parametrize("code", ["14", "UNAVAILABLE"])
def test_status_message_survives_quotes_line_feeds_and_non_ascii(revizer_server, code):
    message = 'he said "no": stop\nnow \u00e9\u2603 100%'
    error = call(revizer_server.port, make_request(f"behave:status:{code}:{message}"))
    assert error.code() == grpc.StatusCode.UNAVAILABLE
    assert error.details() == message


def test_never_answer_and_delay(revizer_server):
    started = time.monotonic()
    assert call(revizer_server.port, make_request("behave:never-answer"), timeout=0.3).code() == (
        grpc.StatusCode.DEADLINE_EXCEEDED
    )
    assert time.monotonic() - started >= 0.3
    started = time.monotonic()
    assert len(call(revizer_server.port, make_request("behave:delay-ms:200")).events) == 3
    assert time.monotonic() - started >= 0.2
    # A delay longer than the deadline ends at the deadline.
    assert call(revizer_server.port, make_request("behave:delay-ms:5000"), timeout=0.2).code() == (
        grpc.StatusCode.DEADLINE_EXCEEDED
    )


def test_close_connection_drops_the_connection_and_serves_the_next(revizer_server):
    assert call(revizer_server.port, make_request("behave:close-connection")).code() == grpc.StatusCode.UNAVAILABLE
    assert len(call(revizer_server.port, make_request("again")).events) == 3


def test_metadata_reports_headers_as_sent(revizer_server):
    metadata = [("authorization", "Bearer t0k=n"), ("x-api-key", "k1"), ("x-api-key", "k2")]
    answer = call(revizer_server.port, make_request("behave:metadata", count=1), timeout=3, metadata=metadata)
    report = json.loads(reason(answer.events[0]))
    assert report["authorization"] == "Bearer t0k=n"
    assert report["x-api-key"] == ["k1", "k2"]
    assert report["user-agent"].startswith("grpc-python/")
    assert re.fullmatch(r"[0-9]{1,8}[HMSmun]", report["grpc-timeout"]), report
    # The server reckons the deadline from the header's value, rounded up by the client.
    assert 2000 < report["deadline-ms"] <= 3100
    bare = json.loads(reason(call(revizer_server.port, make_request("behave:metadata", count=1), timeout=None).events[0]))
    assert (bare["authorization"], bare["x-api-key"], bare["grpc-timeout"], bare["deadline-ms"]) == (None, None, None, None)


def test_no_message_ends_ok_without_an_answer(revizer_server):
    with grpc.insecure_channel(f"127.0.0.1:{revizer_server.port}") as channel:
        # Read as a stream, an answer without a message is visible as such.
        answers = channel.unary_stream(METHOD)(make_request("behave:no-message").SerializeToString(), timeout=5)
        assert list(answers) == []
        assert answers.code() == grpc.StatusCode.OK


@pytest.mark.parametrize("size", [4096, 4097, 16384 + 3, 16 * 1024 * 1024 + 1])
def test_answer_size_is_exact_and_still_decodes(revizer_server, size):
    answer = call(revizer_server.port, make_request("behave:answer-size:%d" % size), raw=True)
    assert len(answer) == size
    assert [e.event_id for e in pb2.AdjudicatesResponse.FromString(answer).events] == ["evt-0", "evt-1", "evt-2"]


def test_bad_protobuf_sends_field_1_with_the_varint_wire_type(revizer_server):
    # The protobuf libraries skip a field of the wrong wire type as unknown; a
    # strict decoder refuses it.
    assert call(revizer_server.port, make_request("behave:bad-protobuf"), raw=True) == b"\x08\x01"


# --- the process protocol --------------------------------------------------------


def server_argv(kind):
    return [cpp_server_path()] if kind == "cpp" else grpcio_server_argv()


@pytest.mark.parametrize("kind", ["cpp", "grpcio"])
def test_server_process_ends_on_sigterm_or_stdin_close(kind):
    with ServerProcess(server_argv(kind)) as server:
        assert len(call(server.port, make_request("plain")).events) == 3
        server.close_stdin()
        assert server.wait(10) == 0
    with ServerProcess(server_argv(kind)) as server:
        server.send_signal(signal.SIGTERM)
        assert server.wait(10) == 0


@pytest.mark.parametrize("kind", ["cpp", "grpcio"])
def test_direct_mode_has_no_relay(kind):
    with ServerProcess(server_argv(kind) + ["--direct"]) as server:
        error = call(server.port, make_request("behave:close-connection"))
        assert error.code() == grpc.StatusCode.FAILED_PRECONDITION
        report = json.loads(reason(call(server.port, make_request("behave:metadata", count=1)).events[0]))
        assert report["grpc-timeout"] is None and report["deadline-ms"] is not None


def test_behaviour_parsing_matches_the_table():
    cases = {
        "plain": peer_answers.Behaviour(),
        "behave:echo": peer_answers.Behaviour("echo"),
        "behave:wrong-count+3": peer_answers.Behaviour("wrong-count", 3),
        "behave:wrong-count-1": peer_answers.Behaviour("wrong-count", -1),
        "behave:status:UNAUTHENTICATED:a:b": peer_answers.Behaviour("status", 16, "a:b"),
        "behave:status:4:": peer_answers.Behaviour("status", 4, ""),
        "behave:deny-at:0": peer_answers.Behaviour("deny-at", 0),
    }
    for trajectory_id, behaviour in cases.items():
        assert peer_answers.behaviour_of(make_request(trajectory_id, count=1)) == behaviour, trajectory_id
    assert peer_answers.behaviour_of(pb2.AdjudicatesRequest()) == peer_answers.Behaviour()
