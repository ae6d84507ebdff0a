"""PolicyMetadata, PolicyProvenance and PolicySetProvenance: the policies
behind an adjudication result."""
import pytest

from tavimor_revizer_client import Adjudicated, PolicyMetadata, PolicyProvenance, PolicySetProvenance


def notes(exc_info):
    return getattr(exc_info.value, "__notes__", [])


RESULT_WITH_SOURCES = {
    "decision": "Allow",
    "mode": "monitor",
    "policy_sources": [
        {
            "name": "base",
            "version": -1,
            "revision": "r7",
            "digest": "sha256:00",
            "labels": {"b": "2", "a": "1"},
            "policies": [{"name": "no-rm", "labels": {"z": "", "y": "x"}}, {"name": "audit"}],
        },
        {"name": "extra"},
    ],
}


def policy_sources():
    return Adjudicated.from_dict(RESULT_WITH_SOURCES).policy_sources


class TestPolicyMetadata:
    def test_class_shape(self):
        assert PolicyMetadata.__text_signature__ == (
            "(*, policy_id=None, description=None, escalate=False, escalate_arg=None, metadata=None)"
        )
        assert PolicyMetadata.__doc__ == "Cedar policy metadata."
        assert PolicyMetadata.escalate.__doc__ == "Whether this policy requires escalation to a human or other oracle."
        assert PolicyMetadata.escalate_arg.__doc__ == "The argument passed to @escalate, if any."

    def test_defaults(self):
        p = PolicyMetadata()
        assert (p.policy_id, p.description, p.escalate, p.escalate_arg, p.metadata) == (None, None, False, None, {})
        assert repr(p) == "PolicyMetadata()"
        assert p.to_dict() == {}
        assert PolicyMetadata.from_dict({}) == p
        assert PolicyMetadata(policy_id=None, description=None, escalate_arg=None, metadata=None) == p
        assert PolicyMetadata(metadata={}) == p

    def test_all_fields(self):
        p = PolicyMetadata(policy_id="p", description="d", escalate=True, escalate_arg="human", metadata={"k": "v"})
        assert (p.policy_id, p.description, p.escalate, p.escalate_arg, p.metadata) == ("p", "d", True, "human", {"k": "v"})
        assert p.to_dict() == {"policy_id": "p", "description": "d", "escalate": True, "escalate_arg": "human",
                               "metadata": {"k": "v"}}
        assert list(p.to_dict()) == ["policy_id", "description", "escalate", "escalate_arg", "metadata"]
        assert PolicyMetadata.from_dict(p.to_dict()) == p

    @pytest.mark.parametrize(
        "policy_id, text",
        [("p", 'PolicyMetadata(policy_id="p")'), ('a"b\nc', 'PolicyMetadata(policy_id="a\\"b\\nc")'),
         ("", 'PolicyMetadata(policy_id="")')],
    )
    def test_repr_shows_only_the_id(self, policy_id, text):
        p = PolicyMetadata(policy_id=policy_id, description="d", escalate=True, metadata={"k": "v"})
        assert repr(p) == text
        assert repr(PolicyMetadata(description="d")) == "PolicyMetadata()"

    def test_escalate_written_only_when_true(self):
        assert PolicyMetadata(escalate=True).to_dict() == {"escalate": True}
        assert PolicyMetadata(escalate=False).to_dict() == {}
        assert PolicyMetadata.from_dict({"escalate": False}).to_dict() == {}

    def test_metadata_order_is_the_maps_own_and_equality_ignores_it(self):
        entries = [(f"k{i}", f"v{i}") for i in range(20)]
        a = PolicyMetadata(metadata=dict(entries))
        b = PolicyMetadata(metadata=dict(reversed(entries)))
        assert a == b
        assert a.metadata == dict(entries)
        # One object lists its entries in the same order every time.
        assert list(a.metadata) == list(a.metadata) == list(a.to_dict()["metadata"])

    def test_metadata_dict_subclass_and_fresh_copies(self):
        class D(dict):
            pass

        p = PolicyMetadata(metadata=D(a="1"))
        got = p.metadata
        got["b"] = "2"
        assert p.metadata == {"a": "1"}

    @pytest.mark.parametrize(
        "kwargs, message, argument",
        [
            ({"escalate": None}, "'None' is not an instance of 'bool'", "escalate"),
            ({"escalate": 1}, "'int' object is not an instance of 'bool'", "escalate"),
            ({"policy_id": 1}, "'int' object is not an instance of 'str'", "policy_id"),
            ({"description": b"d"}, "'bytes' object is not an instance of 'str'", "description"),
            ({"escalate_arg": 1.0}, "'float' object is not an instance of 'str'", "escalate_arg"),
            ({"metadata": {"k": 1}}, "'int' object is not an instance of 'str'", "metadata"),
            ({"metadata": {1: "v"}}, "'int' object is not an instance of 'str'", "metadata"),
            ({"metadata": [("k", "v")]}, "'list' object is not an instance of 'dict'", "metadata"),
        ],
    )
    def test_argument_errors(self, kwargs, message, argument):
        with pytest.raises(TypeError) as exc_info:
            PolicyMetadata(**kwargs)
        assert str(exc_info.value) == message
        assert notes(exc_info) == [f"while processing '{argument}'"]

    def test_arguments_are_keyword_only(self):
        with pytest.raises(TypeError) as exc_info:
            PolicyMetadata("p")
        assert str(exc_info.value) == "PolicyMetadata.__new__() takes 0 positional arguments but 1 was given"

    @pytest.mark.parametrize(
        "data, message",
        [
            ({"escalate": None}, "invalid type: null, expected a boolean"),
            ({"escalate": "yes"}, 'invalid type: string "yes", expected a boolean'),
            ({"metadata": None}, "invalid type: null, expected a map"),
            ({"metadata": {"k": 1}}, "invalid type: integer `1`, expected a string"),
            ({"policy_id": 5}, "invalid type: integer `5`, expected a string"),
            ([], "invalid length 0, expected struct PolicyMetadata with 5 elements"),
            (["p", "d"], "invalid length 3, expected struct PolicyMetadata with 5 elements"),
            ([None, None, False, None, {}, 1], "invalid length 6, expected fewer elements in array"),
            ("p", 'invalid type: string "p", expected struct PolicyMetadata'),
        ],
    )
    def test_from_dict_errors(self, data, message):
        with pytest.raises(ValueError) as exc_info:
            PolicyMetadata.from_dict(data)
        assert str(exc_info.value) == message

    def test_from_dict_reads_null_texts_as_absent_and_the_array_form(self):
        assert PolicyMetadata.from_dict({"policy_id": None}) == PolicyMetadata()
        assert PolicyMetadata.from_dict([None, None, False, None]) == PolicyMetadata()
        assert PolicyMetadata.from_dict(["p", None, True, "a"]) == PolicyMetadata(policy_id="p", escalate=True,
                                                                                  escalate_arg="a")

    @pytest.mark.parametrize(
        "other",
        [PolicyMetadata(policy_id="q"), PolicyMetadata(policy_id="p", description=""),
         PolicyMetadata(policy_id="p", escalate=True), PolicyMetadata(policy_id="p", escalate_arg=""),
         PolicyMetadata(policy_id="p", metadata={"k": "v"})],
    )
    def test_equality_field_by_field(self, other):
        assert PolicyMetadata(policy_id="p") != other
        assert not (PolicyMetadata(policy_id="p") == other)
        with pytest.raises(TypeError):
            hash(other)


class TestProvenance:
    def test_classes_cannot_be_called(self):
        for cls in (PolicyProvenance, PolicySetProvenance):
            with pytest.raises(TypeError):
                cls()
            assert not hasattr(cls, "from_dict")
        assert PolicyProvenance.__doc__ == "Policy evaluation result (control event)."
        assert PolicySetProvenance.__doc__ == "Exact server-resolved policy-set revision evaluated for a decision."
        assert PolicyProvenance.__text_signature__ is None
        assert PolicySetProvenance.__text_signature__ is None

    def test_properties(self):
        base, extra = policy_sources()
        assert type(base) is PolicySetProvenance
        assert (base.name, base.version, base.revision, base.digest) == ("base", -1, "r7", "sha256:00")
        assert base.labels == {"a": "1", "b": "2"}
        assert [p.name for p in base.policies] == ["no-rm", "audit"]
        assert type(base.policies[0]) is PolicyProvenance
        assert base.policies[0].labels == {"y": "x", "z": ""}
        assert base.policies[1].labels == {}
        assert (extra.name, extra.version, extra.revision, extra.digest, extra.labels, extra.policies) == (
            "extra", None, None, None, {}, [])

    def test_to_dict_in_key_order(self):
        base, extra = policy_sources()
        data = base.to_dict()
        assert data == RESULT_WITH_SOURCES["policy_sources"][0]
        assert list(data) == ["name", "version", "revision", "digest", "labels", "policies"]
        assert list(data["labels"]) == ["a", "b"]
        assert list(data["policies"][0]["labels"]) == ["y", "z"]
        assert base.policies[1].to_dict() == {"name": "audit"}
        assert extra.to_dict() == {"name": "extra"}

    def test_identity_semantics(self):
        first = policy_sources()[0]
        again = policy_sources()[0]
        assert first == first
        assert first != again
        assert hash(first) == hash(first)
        assert {first, again} == {first, again}
        assert repr(first).startswith("<builtins.PolicySetProvenance object at ")
        assert first.policies[0] != first.policies[0]
        # Inside a result the provenance compares by value.
        assert Adjudicated.from_dict(RESULT_WITH_SOURCES) == Adjudicated.from_dict(RESULT_WITH_SOURCES)
        changed = dict(RESULT_WITH_SOURCES, policy_sources=[{"name": "base"}, {"name": "extra"}])
        assert Adjudicated.from_dict(RESULT_WITH_SOURCES) != Adjudicated.from_dict(changed)

    def test_version_range(self):
        for version in (0, -(2**63), 2**63 - 1):
            data = {"decision": "Allow", "policy_sources": [{"name": "s", "version": version}]}
            assert Adjudicated.from_dict(data).policy_sources[0].version == version
        with pytest.raises(ValueError) as exc_info:
            Adjudicated.from_dict({"decision": "Allow", "policy_sources": [{"name": "s", "version": 2**63}]})
        assert str(exc_info.value) == "invalid value: integer `9223372036854775808`, expected i64"
        with pytest.raises(ValueError) as exc_info:
            Adjudicated.from_dict({"decision": "Allow", "policy_sources": [{"name": "s", "version": 3.5}]})
        assert str(exc_info.value) == "invalid type: floating point `3.5`, expected i64"
