"""The payload classes of trajectory events (actions, observations, lifecycle
control) and the context classes (Actor, Causality, ExecutionAttribution,
Snapshot): signatures, constructors and binder texts, generated ids, reprs,
equality and dict round trips."""
import re

import pytest

from tavimor_revizer_client import (
    Actor,
    ActorType,
    Causality,
    Completed,
    ExecutionAttribution,
    Failed,
    FileOperation,
    FileOperationResult,
    FileOpType,
    Prompt,
    PromptRole,
    Resumed,
    ShellCommand,
    ShellCommandOutput,
    Snapshot,
    Suspended,
    Terminated,
    Thought,
    ToolCall,
    ToolOutput,
    WebFetch,
    WebFetchOutput,
)

UUID = "[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}"


def notes(exc_info):
    return getattr(exc_info.value, "__notes__", [])


def examples():
    """One object of every class, with every optional field set."""
    return [
        ToolCall("search", {"q": "x", "n": [1, 2.5, None, True]}, call_id="c1"),
        ShellCommand("ls -la", working_dir="/w", call_id="c2"),
        WebFetch("https://example.org", "summarise", call_id="c3"),
        FileOperation(FileOpType.EDIT, "a.py", content="new", old_content="old", call_id="c4"),
        Prompt("hello", PromptRole.ASSISTANT),
        Thought("think"),
        ToolOutput("c1", True, {"hits": 3}, error="partial"),
        ShellCommandOutput("c2", -1, "out", "err"),
        WebFetchOutput("c3", "https://example.org", 404, "missing"),
        FileOperationResult("c4", False, content="x", error="denied"),
        Completed(summary="done"),
        Failed("boom"),
        Terminated("stop", "user"),
        Suspended("pause"),
        Resumed("user"),
        Actor("u1", ActorType.POLICY),
        Causality(correlation_id="corr", causation_id="cause", parent_id="parent"),
        ExecutionAttribution(agent_name="sub", agent_path=["root", "sub"]),
        Snapshot(working_dir="/w", git_branch="main", open_files=["a", "b"], variables={"k": {"n": [1]}},
                 snapshot_id="s1"),
    ]


CLASS_SHAPES = [
    (ToolCall, "(tool, arguments, *, call_id=None)", "Generic tool/function invocation."),
    (ShellCommand, "(command, *, working_dir=None, call_id=None)", "Shell command execution."),
    (WebFetch, "(url, prompt, *, call_id=None)", "Web fetch operation."),
    (FileOperation, "(operation, path, *, content=None, old_content=None, call_id=None)", "File system operation."),
    (Prompt, "(content, role)", "User or system prompt input."),
    (Thought, "(thought)", "Internal reasoning (no side effects)."),
    (ToolOutput, "(call_id, success, output, *, error=None)", "Generic tool output."),
    (ShellCommandOutput, "(call_id, exit_code, stdout, stderr)", "Shell command output."),
    (WebFetchOutput, "(call_id, url, code, result)", "Web fetch output."),
    (FileOperationResult, "(call_id, success, *, content=None, error=None)", "File operation result."),
    (Completed, "(*, summary=None)", "Agent completed successfully."),
    (Failed, "(reason)", "Agent failed."),
    (Terminated, "(reason, terminated_by)", "Agent terminated externally."),
    (Suspended, "(reason)", "Agent suspended."),
    (Resumed, "(resumed_by)", "Agent resumed."),
    (Actor, "(id, actor_type)", "Who triggered the event."),
    (Causality, "(*, correlation_id=None, causation_id=None, parent_id=None)", "Event causation chain."),
    (ExecutionAttribution, "(*, agent_name, agent_path=None)",
     "Observational identity of the child agent executing an event."),
    (Snapshot, "(*, working_dir=None, git_branch=None, open_files=None, variables=None, snapshot_id=None)",
     "Full environment snapshot."),
]

PROPERTIES = {
    ToolCall: ["call_id", "tool", "arguments"],
    ShellCommand: ["call_id", "command", "working_dir"],
    WebFetch: ["call_id", "url", "prompt"],
    FileOperation: ["call_id", "operation", "path", "content", "old_content"],
    Prompt: ["content", "role"],
    Thought: ["thought"],
    ToolOutput: ["call_id", "success", "output", "error"],
    ShellCommandOutput: ["call_id", "exit_code", "stdout", "stderr"],
    WebFetchOutput: ["call_id", "url", "code", "result"],
    FileOperationResult: ["call_id", "success", "content", "error"],
    Completed: ["summary"],
    Failed: ["reason"],
    Terminated: ["reason", "terminated_by"],
    Suspended: ["reason"],
    Resumed: ["resumed_by"],
    Actor: ["id", "actor_type"],
    Causality: ["correlation_id", "causation_id", "parent_id"],
    ExecutionAttribution: ["agent_name", "agent_path"],
    Snapshot: ["snapshot_id", "working_dir", "open_files", "git_branch", "variables"],
}


class TestClassShape:
    @pytest.mark.parametrize("cls, signature, doc", CLASS_SHAPES)
    def test_signature_doc_and_methods(self, cls, signature, doc):
        assert cls.__text_signature__ == signature
        assert cls.__doc__ == doc
        assert repr(cls) == f"<class 'builtins.{cls.__name__}'>"
        assert cls.to_dict.__text_signature__ == "($self)"
        assert cls.from_dict.__text_signature__ == "(data)"
        with pytest.raises(TypeError):
            type("Sub", (cls,), {})

    @pytest.mark.parametrize("obj", examples(), ids=lambda o: type(o).__name__)
    def test_properties_in_declaration_order_and_read_only(self, obj):
        cls = type(obj)
        names = [n for n, v in vars(cls).items() if type(v).__name__ == "getset_descriptor"]
        assert names == PROPERTIES[cls]
        for name in names:
            with pytest.raises(AttributeError):
                setattr(obj, name, None)

    def test_static_constructor_docs(self):
        docs = {
            FileOperation.read: ("(path)", "Create a read operation."),
            FileOperation.write: ("(path, content)", "Create a write operation."),
            FileOperation.edit: ("(path, old_content, new_content)", "Create an edit operation."),
            FileOperation.delete: ("(path)", "Create a delete operation."),
            Prompt.user: ("(content)", "Create a user prompt."),
            Prompt.system: ("(content)", "Create a system prompt."),
            ToolOutput.from_success: ("(call_id, output)", "Create a successful tool output."),
            ToolOutput.from_error: ("(call_id, error)", "Create an error tool output."),
            FileOperationResult.from_success: ("(call_id)", "Create a successful result."),
            FileOperationResult.from_error: ("(call_id, error)", "Create an error result."),
            Actor.human: ("(id)", "Create a human actor."),
            Actor.agent: ("(id)", "Create an agent actor."),
            Actor.system: ("(id)", "Create a system actor."),
            Actor.policy: ("(id)", "Create a policy actor."),
        }
        for method, (signature, doc) in docs.items():
            assert (method.__text_signature__, method.__doc__) == (signature, doc)
        assert not hasattr(Prompt, "assistant")
        for cls in (ToolOutput, FileOperationResult):
            assert "success" in cls.success.__doc__ and "error" in cls.error.__doc__


class TestGeneratedIds:
    @pytest.mark.parametrize(
        "make, attribute, prefix",
        [
            (lambda: ToolCall("t", None), "call_id", "call-"),
            (lambda: ShellCommand("ls"), "call_id", "call-"),
            (lambda: WebFetch("u", "p", call_id=None), "call_id", "call-"),
            (lambda: FileOperation(FileOpType.READ, "p"), "call_id", "call-"),
            (lambda: FileOperation.read("p"), "call_id", "call-"),
            (lambda: FileOperation.write("p", "c"), "call_id", "call-"),
            (lambda: FileOperation.edit("p", "a", "b"), "call_id", "call-"),
            (lambda: FileOperation.delete("p"), "call_id", "call-"),
            (lambda: Causality(), "correlation_id", "corr-"),
            (lambda: Snapshot(), "snapshot_id", "snap-"),
        ],
    )
    def test_prefix_and_random_uuid(self, make, attribute, prefix):
        first, second = getattr(make(), attribute), getattr(make(), attribute)
        assert re.fullmatch(re.escape(prefix) + UUID, first)
        assert len(first) == len(prefix) + 36
        assert first != second

    def test_given_ids_are_kept_even_when_empty(self):
        assert ToolCall("t", 1, call_id="").call_id == ""
        assert Causality(correlation_id="").correlation_id == ""
        assert Snapshot(snapshot_id="").snapshot_id == ""
        assert ToolCall("t", {}) != ToolCall("t", {})  # two generated ids

    def test_defaults_of_context_records(self):
        causality = Causality()
        assert (causality.causation_id, causality.parent_id) == (None, None)
        snapshot = Snapshot()
        assert (snapshot.working_dir, snapshot.git_branch, snapshot.open_files, snapshot.variables) == (None, None, [], {})
        assert repr(snapshot) == "Snapshot(working_dir=None, git_branch=None)"
        assert ExecutionAttribution(agent_name="a").agent_path == []


class TestConstruction:
    def test_static_constructors(self):
        edit = FileOperation.edit("p", "old", "new")
        assert (edit.operation, edit.content, edit.old_content) == (FileOpType.EDIT, "new", "old")
        assert list(FileOperation.read("p").to_dict()) == ["call_id", "operation", "path"]
        write = FileOperation.write("p", "body")
        assert (write.operation, write.content, write.old_content) == (FileOpType.WRITE, "body", None)
        assert FileOperation.delete("p").operation is FileOpType.DELETE
        assert Prompt.user("hi").role is PromptRole.USER
        assert Prompt.system("hi").role is PromptRole.SYSTEM
        ok = ToolOutput.from_success("c", {"a": [1]})
        assert (ok.success, ok.output, ok.error) == (True, {"a": [1]}, None)
        err = ToolOutput.from_error("c", "boom")
        assert err.to_dict() == {"call_id": "c", "success": False, "output": None, "error": "boom"}
        assert repr(err) == 'ToolOutput(call_id="c", success=false)'
        assert FileOperationResult.from_success("c").to_dict() == {
            "call_id": "c", "success": True, "content": None, "error": None}
        failed = FileOperationResult.from_error("c", "no")
        assert (failed.success, failed.content, failed.error) == (False, None, "no")
        for make, actor_type in [(Actor.human, ActorType.HUMAN), (Actor.agent, ActorType.AGENT),
                                 (Actor.system, ActorType.SYSTEM), (Actor.policy, ActorType.POLICY)]:
            assert make("u").actor_type is actor_type
            assert make(id="u") == Actor("u", actor_type)

    def test_enumeration_arguments_need_the_member_class(self):
        with pytest.raises(TypeError) as exc_info:
            FileOperation("read", "p")
        assert str(exc_info.value) == "'str' object is not an instance of 'FileOpType'"
        assert notes(exc_info) == ["while processing 'operation'"]
        op = FileOperation(FileOpType("read"), "p")
        assert op.operation is FileOpType.READ
        with pytest.raises(TypeError) as exc_info:
            Prompt("hi", "user")
        assert notes(exc_info) == ["while processing 'role'"]
        with pytest.raises(TypeError) as exc_info:
            Actor("u", "human")
        assert notes(exc_info) == ["while processing 'actor_type'"]
        assert Actor("u", ActorType("human")) == Actor.human("u")

    @pytest.mark.parametrize(
        "call, exception, message, argument",
        [
            (lambda: ToolCall(None, {}), TypeError, "'None' is not an instance of 'str'", "tool"),
            (lambda: ShellCommand("ls", working_dir=1), TypeError, "'int' object is not an instance of 'str'", "working_dir"),
            (lambda: WebFetch("u", "p", call_id=5), TypeError, "'int' object is not an instance of 'str'", "call_id"),
            (lambda: ToolOutput("c", 1, None), TypeError, "'int' object is not an instance of 'bool'", "success"),
            (lambda: FileOperationResult("c", 0), TypeError, "'int' object is not an instance of 'bool'", "success"),
            (lambda: ShellCommandOutput("c", 2**31, "", ""), OverflowError,
             "out of range integral type conversion attempted", "exit_code"),
            (lambda: ShellCommandOutput("c", -(2**31) - 1, "", ""), OverflowError,
             "out of range integral type conversion attempted", "exit_code"),
            (lambda: WebFetchOutput("c", "u", 2**31, ""), OverflowError,
             "out of range integral type conversion attempted", "code"),
            (lambda: ShellCommandOutput("c", 0.0, "", ""), TypeError, None, "exit_code"),
            (lambda: ShellCommandOutput("c", 2**64, "", ""), OverflowError, None, "exit_code"),
            (lambda: ExecutionAttribution(agent_name="a", agent_path="ab"), TypeError, "Can't extract `str` to `Vec`",
             "agent_path"),
            (lambda: ExecutionAttribution(agent_name="a", agent_path=[1]), TypeError,
             "'int' object is not an instance of 'str'", "agent_path"),
            (lambda: Snapshot(open_files="a.py"), TypeError, "Can't extract `str` to `Vec`", "open_files"),
            (lambda: Snapshot(variables=[("a", 1)]), TypeError, "'list' object is not an instance of 'dict'",
             "variables"),
            (lambda: Causality(parent_id=b"x"), TypeError, "'bytes' object is not an instance of 'str'", "parent_id"),
        ],
    )
    def test_argument_errors_carry_the_argument_note(self, call, exception, message, argument):
        with pytest.raises(exception) as exc_info:
            call()
        if message is not None:
            assert str(exc_info.value) == message
        assert notes(exc_info) == [f"while processing '{argument}'"]

    @pytest.mark.parametrize(
        "call, exception, message",
        [
            (lambda: ToolCall("t", 2**64), ValueError,
             "integer out of range for JSON number: 18446744073709551616 is outside signed or unsigned 64-bit range"),
            (lambda: ToolOutput("c", True, {1: "x"}), TypeError, "'int' object is not an instance of 'str'"),
            (lambda: Snapshot(variables={1: "x"}), TypeError, "'int' object is not an instance of 'str'"),
            (lambda: Snapshot(variables={"a": -(2**63) - 1}), ValueError,
             "integer out of range for JSON number: -9223372036854775809 is outside signed or unsigned 64-bit range"),
        ],
    )
    def test_json_values_convert_last_and_raise_unchanged(self, call, exception, message):
        with pytest.raises(exception) as exc_info:
            call()
        assert str(exc_info.value) == message
        assert notes(exc_info) == []

    def test_a_bad_call_id_is_reported_before_bad_arguments(self):
        with pytest.raises(TypeError) as exc_info:
            ToolCall("t", 2**64, call_id=1)
        assert notes(exc_info) == ["while processing 'call_id'"]
        with pytest.raises(TypeError) as exc_info:
            ToolOutput("c", True, 2**64, error=1)
        assert notes(exc_info) == ["while processing 'error'"]

    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: Completed("done"), "Completed.__new__() takes 0 positional arguments but 1 was given"),
            (lambda: ToolCall("t"), "ToolCall.__new__() missing 1 required positional argument: 'arguments'"),
            (lambda: ExecutionAttribution(), "ExecutionAttribution.__new__() missing 1 required keyword argument: 'agent_name'"),
            (lambda: Causality("c"), "Causality.__new__() takes 0 positional arguments but 1 was given"),
            (lambda: FileOperation.read(), "FileOperation.read() missing 1 required positional argument: 'path'"),
            (lambda: Prompt.user("a", role=PromptRole.USER), "Prompt.user() got an unexpected keyword argument 'role'"),
        ],
    )
    def test_binding_errors(self, call, message):
        with pytest.raises(TypeError) as exc_info:
            call()
        assert str(exc_info.value) == message

    def test_integer_and_sequence_conversions(self):
        assert ShellCommandOutput("c", 2**31 - 1, "", "").exit_code == 2**31 - 1
        assert ShellCommandOutput("c", -(2**31), "", "").exit_code == -(2**31)
        assert ShellCommandOutput("c", True, "", "").exit_code == 1
        assert Snapshot(open_files=("a.py", "b.py")).open_files == ["a.py", "b.py"]
        assert ExecutionAttribution(agent_name="a", agent_path=("x", "x")).agent_path == ["x", "x"]

    def test_snapshot_variables_and_dict_subclasses(self):
        class D(dict):
            pass

        snapshot = Snapshot(variables=D(b=1, a=[1, 2]), snapshot_id="s")
        assert snapshot.variables == {"b": 1, "a": [1, 2]}
        assert Snapshot(variables={"a": [1, 2], "b": 1}, snapshot_id="s") == snapshot
        assert Snapshot(variables={"a": [1, 2], "b": 1.0}, snapshot_id="s") != snapshot
        assert Snapshot(working_dir="", snapshot_id="s") != Snapshot(snapshot_id="s")
        assert repr(Snapshot(working_dir="")) == 'Snapshot(working_dir=Some(""), git_branch=None)'


class TestReprs:
    @pytest.mark.parametrize(
        "obj, text",
        [
            (ToolCall("search", {}, call_id="c"), 'ToolCall(tool="search", call_id="c")'),
            (ShellCommand("ls -la"), 'ShellCommand(command="ls -la")'),
            (WebFetch("https://x", "p"), 'WebFetch(url="https://x")'),
            (FileOperation(FileOpType.WRITE, "a\"b"), 'FileOperation(operation=FileOpType.WRITE, path="a\\"b")'),
            (Prompt("hi", PromptRole.ASSISTANT), 'Prompt(role=PromptRole.ASSISTANT, content="hi")'),
            (Thought("t\n"), 'Thought(thought="t\\n")'),
            (ToolOutput("c", True, None), 'ToolOutput(call_id="c", success=true)'),
            (ShellCommandOutput("c", -1, "", ""), 'ShellCommandOutput(call_id="c", exit_code=-1)'),
            (WebFetchOutput("c", "u", 200, ""), 'WebFetchOutput(url="u", code=200)'),
            (FileOperationResult("c", False), 'FileOperationResult(call_id="c", success=false)'),
            (Completed(), "Completed()"),
            (Completed(summary=None), "Completed()"),
            (Completed(summary=""), 'Completed(summary="")'),
            (Failed("r" * 200), 'Failed(reason="' + "r" * 200 + '")'),
            (Terminated("r", "u"), 'Terminated(reason="r", terminated_by="u")'),
            (Suspended("r"), 'Suspended(reason="r")'),
            (Resumed("u"), 'Resumed(resumed_by="u")'),
            (Actor.agent("a"), 'Actor(id="a", actor_type=ActorType.AGENT)'),
            (Causality(correlation_id="c", parent_id="p"), 'Causality(correlation_id="c")'),
            (ExecutionAttribution(agent_name="a", agent_path=["p", "q"]),
             'ExecutionAttribution(agent_name="a", agent_path=["p", "q"])'),
            (ExecutionAttribution(agent_name="a"), 'ExecutionAttribution(agent_name="a", agent_path=[])'),
            (Snapshot(working_dir="/w"), 'Snapshot(working_dir=Some("/w"), git_branch=None)'),
            (Thought('q"\u00e9\u200b'), 'Thought(thought="q\\"\u00e9\\u{200b}")'),
        ],
    )
    def test_templates(self, obj, text):
        assert repr(obj) == text
        assert str(obj) == text

    @pytest.mark.parametrize(
        "make, limit",
        [(lambda t: Prompt(t, PromptRole.USER), 50), (Thought, 50), (ShellCommand, 60)],
    )
    def test_truncation_at_grapheme_boundaries(self, make, limit):
        field = re.compile(r'="(.*)"\)$')
        assert field.search(repr(make("x" * limit))).group(1) == "x" * limit
        assert field.search(repr(make("x" * (limit + 1)))).group(1) == "x" * limit + "..."
        accented = "e\u0301" * (limit + 1)  # a letter and a combining accent: one cluster
        assert field.search(repr(make(accented))).group(1) == "e\\u{301}" * limit + "..."
        flags = "\U0001F1EB\U0001F1F7" * (limit + 1)
        assert field.search(repr(make(flags))).group(1) == "\U0001F1EB\U0001F1F7" * limit + "..."


class TestEquality:
    def test_field_by_field_and_same_class_only(self):
        for obj, again in zip(examples(), examples()):
            assert obj == again and not (obj != again)
            assert obj != "text" and not (obj == "text")
            with pytest.raises(TypeError):
                obj < again
            with pytest.raises(TypeError):
                hash(obj)
            with pytest.raises(TypeError):
                {obj}
        assert Failed("r") != Suspended("r")
        assert Failed("r").to_dict() == Suspended("r").to_dict()

    def test_json_values_compare_by_kind_and_ignore_key_order(self):
        assert ToolCall("t", {"n": 1}, call_id="c") != ToolCall("t", {"n": 1.0}, call_id="c")
        assert ToolCall("t", {"n": True}, call_id="c") != ToolCall("t", {"n": 1}, call_id="c")
        a = ToolCall("t", {"x": 1, "y": [1, 2]}, call_id="c")
        b = ToolCall("t", {"y": [1, 2], "x": 1}, call_id="c")
        assert a == b
        assert list(a.to_dict()["arguments"]) == ["x", "y"] and list(b.to_dict()["arguments"]) == ["y", "x"]
        assert ToolOutput("c", True, [1, 2]) != ToolOutput("c", True, [2, 1])
        assert Causality(correlation_id="x", parent_id="") != Causality(correlation_id="x")

    def test_properties_are_fresh_copies(self):
        call = ToolCall("t", {"a": [1]}, call_id="c")
        args = call.arguments
        args["a"].append(2)
        assert call.arguments == {"a": [1]}
        assert call.arguments is not call.arguments
        snapshot = Snapshot(variables={"k": [1]}, open_files=["a"])
        snapshot.variables["k"].append(2)
        snapshot.open_files.append("b")
        assert snapshot.variables == {"k": [1]} and snapshot.open_files == ["a"]
        assert Actor.human("u").actor_type is ActorType.HUMAN


class TestDictForms:
    @pytest.mark.parametrize("obj", examples(), ids=lambda o: type(o).__name__)
    def test_round_trip(self, obj):
        data = obj.to_dict()
        assert type(obj).from_dict(data) == obj
        assert type(obj).from_dict(data).to_dict() == data

    @pytest.mark.parametrize(
        "obj, data",
        [
            (ToolCall("t", None, call_id="c"), {"call_id": "c", "tool": "t", "arguments": None}),
            (ShellCommand("ls", call_id="c"), {"call_id": "c", "command": "ls", "working_dir": None}),
            (FileOperation(FileOpType.WRITE, "p", content="", call_id="c"),
             {"call_id": "c", "operation": "Write", "path": "p", "content": ""}),
            (Prompt("hi", PromptRole.SYSTEM), {"content": "hi", "role": "System"}),
            (ToolOutput("c", True, None), {"call_id": "c", "success": True, "output": None, "error": None}),
            (ShellCommandOutput("c", -1, "o", "e"), {"call_id": "c", "exit_code": -1, "stdout": "o", "stderr": "e"}),
            (Completed(), {"summary": None}),
            (Terminated("r", "u"), {"reason": "r", "terminated_by": "u"}),
            (Actor.human("u"), {"id": "u", "actor_type": "Human"}),
            (Causality(correlation_id="c"), {"correlation_id": "c", "causation_id": None, "parent_id": None}),
            (ExecutionAttribution(agent_name="a"), {"agent_name": "a"}),
            (Snapshot(snapshot_id="s"),
             {"snapshot_id": "s", "working_dir": None, "open_files": [], "git_branch": None, "variables": {}}),
        ],
    )
    def test_written_keys_in_order(self, obj, data):
        assert obj.to_dict() == data
        assert list(obj.to_dict()) == list(data)

    @pytest.mark.parametrize(
        "cls, data, message",
        [
            (ToolCall, {"tool": "t", "arguments": 1}, "missing field `call_id`"),
            (ToolCall, {"call_id": "c", "tool": "t"}, "missing field `arguments`"),
            (FileOperation, {"call_id": "c", "operation": "read", "path": "p"},
             "unknown variant `read`, expected one of `Read`, `Write`, `Edit`, `Delete`"),
            (Prompt, {"content": "c", "role": "user"},
             "unknown variant `user`, expected one of `User`, `System`, `Assistant`"),
            (ToolOutput, {"call_id": "c", "success": 1, "output": None}, "invalid type: integer `1`, expected a boolean"),
            (ShellCommandOutput, {"call_id": "c", "exit_code": 1.5, "stdout": "", "stderr": ""},
             "invalid type: floating point `1.5`, expected i32"),
            (ShellCommandOutput, {"call_id": "c", "exit_code": 1.0, "stdout": "", "stderr": ""},
             "invalid type: floating point `1.0`, expected i32"),
            (WebFetchOutput, {"call_id": "c", "url": "u", "code": 2**31, "result": ""},
             "invalid value: integer `2147483648`, expected i32"),
            (Terminated, {"reason": "r"}, "missing field `terminated_by`"),
            (Failed, {"reason": None}, "invalid type: null, expected a string"),
            (Actor, {"id": "u", "actor_type": "human"},
             "unknown variant `human`, expected one of `Human`, `Agent`, `System`, `Policy`"),
            (Causality, {}, "missing field `correlation_id`"),
            (Snapshot, {"snapshot_id": "s", "open_files": []}, "missing field `variables`"),
            (Snapshot, {"snapshot_id": "s", "open_files": None, "variables": {}}, "invalid type: null, expected a sequence"),
            (Thought, "think", 'invalid type: string "think", expected struct Thought'),
            (Resumed, 5, "invalid type: integer `5`, expected struct Resumed"),
        ],
    )
    def test_decoder_errors(self, cls, data, message):
        with pytest.raises(ValueError) as exc_info:
            cls.from_dict(data)
        assert str(exc_info.value) == message

    def test_lenient_forms_and_defaults_of_from_dict(self):
        assert Completed.from_dict({}) == Completed()
        assert Failed.from_dict(["r"]) == Failed("r")
        assert Causality.from_dict({"correlation_id": "x"}) == Causality(correlation_id="x")
        op = FileOperation.from_dict({"call_id": "c", "operation": {"Delete": None}, "path": "p"})
        assert op.operation is FileOpType.DELETE
        snapshot = Snapshot.from_dict({"snapshot_id": "s", "open_files": [], "variables": {}})
        assert (snapshot.working_dir, snapshot.git_branch) == (None, None)
        with pytest.raises(ValueError):
            FileOperation.from_dict({"call_id": "c", "operation": {"Edit": {}}, "path": "p"})
        with pytest.raises(ValueError, match="integer out of range"):
            ToolCall.from_dict({"call_id": "c", "tool": "t", "arguments": 2**64})
