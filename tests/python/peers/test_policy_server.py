"""The demo's local policy service: its three rules, through grpcio's client."""

import grpc
import pytest
from google.protobuf import json_format

from peer_process import ServerProcess
from peer_fixtures import PEERS
from policy_server import PolicyServer, destructive_reason
from revizer_stubs import METHOD, pb2

ROOT = "/home/dev/project"


def envelope(category, kind, data, card_root=ROOT, event_id="evt-1"):
    card = {"CodingAgentCard": {"metadata": {"schema_version": "1", "hook_version": "1"}, "workspace_root": card_root,
                                "execution_mode": "default", "capabilities": {}, "assets": [], "settings": []}}
    return {
        "event_id": event_id,
        "trajectory_id": "t",
        "agent": {"id": "a", "provider": "p", "platform": "", "card": card if card_root else {"ReActAgentCard": {}}},
        "timestamp": "2025-03-04T05:06:07Z",
        "event": {"category": category, "payload": {"type": kind, "data": data}},
        "actor": {"id": "a", "actor_type": "Agent"},
        "causality": {"correlation_id": "c", "causation_id": None, "parent_id": None},
    }


def shell(command):
    return envelope("Action", "ShellCommand", {"call_id": "c", "command": command, "working_dir": None})


def file_op(operation, path, **kw):
    return envelope("Action", "FileOperation", {"call_id": "c", "operation": operation, "path": path}, **kw)


def adjudicate(port, *envelopes):
    request = pb2.AdjudicatesRequest()
    for i, env in enumerate(envelopes):
        event = request.events.add(event_id=env["event_id"] + f"-{i}", trajectory_id="t", event_type="action")
        json_format.ParseDict(env, event.payload)
    with grpc.insecure_channel(f"127.0.0.1:{port}") as channel:
        answer = pb2.AdjudicatesResponse.FromString(channel.unary_unary(METHOD)(request.SerializeToString(), timeout=5))
    assert [e.event_id for e in answer.events] == [e.event_id for e in request.events]
    return [json_format.MessageToDict(e.payload) for e in answer.events]


@pytest.fixture(scope="module")
def policy():
    with PolicyServer() as server:
        yield server


@pytest.mark.parametrize(
    "command, denied",
    [
        ("rm -rf build", True),
        ("sudo rm -fr /", True),
        ("rm -r -f x", True),
        ("ls && rm --recursive --force /tmp/x", True),
        ("FOO=1 rm -Rf ~", True),
        ("bash -c 'rm -rf /'", True),
        ("dd if=/dev/zero of=/dev/sda", True),
        ("mkfs.ext4 /dev/sdb1", True),
        ("git push --force origin main", True),
        ("git clean -fdx", True),
        (":(){ :|:& };:", True),
        ("rm file.txt", False),
        ("rm -r old_dir", False),
        ('echo "rm -rf /"', False),
        ("git push origin main", False),
        ("ls -la", False),
    ],
)
def test_destructive_shell_commands(command, denied):
    assert (destructive_reason(command) is not None) == denied


def test_deny_destructive_shell_with_steering(policy):
    deny, allow = adjudicate(policy.port, shell("rm -rf /"), shell("ls"))
    assert deny["decision"] == "Deny" and deny["mode"] == "steer"
    assert deny["metadata"][0]["policy_id"] == "deny-destructive-shell"
    assert deny["metadata"][0]["metadata"]["command"] == "rm -rf /"
    assert deny["steering"]["instructions"] and deny["steering"]["explanation"]
    assert allow["decision"] == "Allow" and "steering" not in allow
    assert allow["metadata"][0]["policy_id"] == "allow-default"
    for answer in (deny, allow):
        sources = answer["policy_sources"]
        assert sources[0]["name"] == "local-demo-policies" and sources[0]["digest"].startswith("sha256:")
        assert [p["name"] for p in sources[0]["policies"]] == [
            "deny-destructive-shell", "escalate-write-outside-workspace", "allow-default"]


def test_bash_tool_call_is_a_shell_command(policy):
    (answer,) = adjudicate(policy.port, envelope("Action", "ToolCall", {"call_id": "c", "tool": "Bash",
                                                                        "arguments": {"command": "rm -rf ."}}))
    assert answer["decision"] == "Deny"


@pytest.mark.parametrize(
    "operation, path, decision",
    [
        ("Write", f"{ROOT}/src/a.py", "Allow"),
        ("Edit", "src/b.py", "Allow"),
        ("Write", "/etc/passwd", "Escalate"),
        ("Delete", f"{ROOT}/../other/x", "Escalate"),
        ("Edit", "../sibling/file", "Escalate"),
        ("Write", f"{ROOT}-evil/x", "Escalate"),
        ("Read", "/etc/passwd", "Allow"),
    ],
)
def test_file_writes_outside_the_card_workspace_escalate(policy, operation, path, decision):
    (answer,) = adjudicate(policy.port, file_op(operation, path))
    assert answer["decision"] == decision
    if decision == "Escalate":
        meta = answer["metadata"][0]
        assert meta["policy_id"] == "escalate-write-outside-workspace"
        assert meta["escalate"] is True and meta["metadata"]["workspace_root"] == ROOT
        assert answer["steering"]["instructions"]


def test_workspace_root_from_the_command_line_and_no_root_at_all():
    with PolicyServer(workspace_root="/srv/app", mode="govern") as server:
        inside, outside = adjudicate(server.port, file_op("Write", "/srv/app/x"), file_op("Write", f"{ROOT}/x"))
        assert (inside["decision"], outside["decision"], outside["mode"]) == ("Allow", "Escalate", "govern")
    with PolicyServer() as server:
        (answer,) = adjudicate(server.port, file_op("Write", "/tmp/x", card_root=None))
        assert answer["decision"] == "Escalate" and "no known workspace root" in answer["reason"]


def test_event_without_payload_is_refused(policy):
    request = pb2.AdjudicatesRequest(events=[pb2.Event(event_id="bare")])
    with grpc.insecure_channel(f"127.0.0.1:{policy.port}") as channel:
        with pytest.raises(grpc.RpcError) as error:
            channel.unary_unary(METHOD)(request.SerializeToString(), timeout=5)
    assert error.value.code() == grpc.StatusCode.INVALID_ARGUMENT
    assert error.value.details() == "event 'bare' has no payload"


def test_as_a_child_process(tmp_path):
    import sys

    with ServerProcess([sys.executable, str(PEERS / "policy_server.py"), "--workspace-root", str(tmp_path)]) as server:
        inside, outside, deny = adjudicate(
            server.port, file_op("Write", str(tmp_path / "a")), file_op("Write", "/etc/x"), shell("rm -rf /"))
        assert [a["decision"] for a in (inside, outside, deny)] == ["Allow", "Escalate", "Deny"]
