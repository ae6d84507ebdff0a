"""Agent and AgentCard: constructors and factories, the default card,
variants, reprs, equality, dict round trips in the externally tagged form and
the stripping of inline asset content."""
import pytest
from raised import raised

from tavimor_revizer_client import (
    Agent,
    AgentCard,
    AgentCardMetadata,
    CodingAgentCard,
    CodingAgentCardAsset,
    CodingAgentCardCapabilities,
    ReActAgentCard,
    ReActSubAgentDescriptor,
    Tool,
)


IDENTITY = {"scope": "s", "kind": "k", "name": "n", "path": "p", "content_sha256": "h"}


def coding_card(**kwargs):
    return CodingAgentCard(**{"metadata": AgentCardMetadata(schema_version="1", hook_version="2"),
                              "workspace_root": "/w", "execution_mode": "e",
                              "capabilities": CodingAgentCardCapabilities(), **kwargs})


CODING_DICT = coding_card().to_dict()


def agent_dict(card):
    return {"id": "a1", "provider": "p", "platform": "", "card": card}


class TestClassShape:
    def test_agent_signature_and_doc(self):
        assert Agent.__text_signature__ == "(id, provider, *, platform=None, card=None)"
        assert Agent.__doc__ == "Agent represents a unique AI agent in the environment."
        declared = [n for n, v in vars(Agent).items() if type(v).__name__ == "getset_descriptor"]
        assert declared == ["id", "provider", "platform", "card"]

    def test_agent_card_has_no_constructor(self):
        assert AgentCard.__text_signature__ is None
        assert AgentCard.__doc__ == "Agent card enum wrapping the card variant attached to an Agent."
        with pytest.raises(TypeError):
            AgentCard()
        with pytest.raises(TypeError):
            AgentCard(ReActAgentCard())

    @pytest.mark.parametrize(
        "member, doc",
        [
            ("react", "Create an AgentCard from a ReActAgentCard."),
            ("coding", "Create an AgentCard from a CodingAgentCard."),
            ("variant", 'Returns the variant name: "ReActAgentCard" or "CodingAgentCard".'),
            ("react_card", "If this is a ReActAgentCard, return it; otherwise None."),
            ("coding_card", "If this is a CodingAgentCard, return it; otherwise None."),
        ],
    )
    def test_agent_card_member_docs(self, member, doc):
        assert getattr(AgentCard, member).__doc__ == doc

    def test_factory_and_conversion_signatures(self):
        assert AgentCard.react.__text_signature__ == "(card)"
        assert AgentCard.coding.__text_signature__ == "(card)"
        assert AgentCard.to_dict.__text_signature__ == "($self)"
        assert AgentCard.from_dict.__text_signature__ == "(data)"
        assert Agent.from_dict.__text_signature__ == "(data)"


class TestAgent:
    def test_defaults(self):
        agent = Agent("a1", "acme")
        assert (agent.id, agent.provider, agent.platform) == ("a1", "acme", "")
        assert agent.card.variant == "ReActAgentCard"
        react = agent.card.react_card
        assert (react.model, react.system_instruction, react.tools, react.sub_agents) == (None, "", [], [])
        assert agent.card.coding_card is None
        assert agent == Agent("a1", "acme", platform=None, card=None)
        assert agent == Agent(id="a1", provider="acme", card=AgentCard.react(ReActAgentCard()))
        assert agent.to_dict() == {"id": "a1", "provider": "acme", "platform": "", "card": {"ReActAgentCard": {}}}
        assert list(agent.to_dict()) == ["id", "provider", "platform", "card"]

    def test_card_property_is_a_fresh_copy(self):
        agent = Agent("a1", "acme", card=AgentCard.coding(coding_card()))
        assert agent.card == agent.card
        assert agent.card is not agent.card
        assert agent.card.coding_card == coding_card()

    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: Agent("a1", "p", "x"), "Agent.__new__() takes 2 positional arguments but 3 were given"),
            (lambda: Agent("a1"), "Agent.__new__() missing 1 required positional argument: 'provider'"),
            (lambda: Agent("a1", "p", cards=None), "Agent.__new__() got an unexpected keyword argument 'cards'"),
            (lambda: AgentCard.react(), "AgentCard.react() missing 1 required positional argument: 'card'"),
        ],
    )
    def test_binding_errors(self, call, message):
        assert raised(TypeError, call)[0] == message

    @pytest.mark.parametrize(
        "kwargs, message, argument",
        [
            ({"id": 1}, "'int' object is not an instance of 'str'", "id"),
            ({"provider": None}, "'None' is not an instance of 'str'", "provider"),
            ({"platform": 2}, "'int' object is not an instance of 'str'", "platform"),
            ({"card": ReActAgentCard()}, "'ReActAgentCard' object is not an instance of 'AgentCard'", "card"),
            ({"card": {"ReActAgentCard": {}}}, "'dict' object is not an instance of 'AgentCard'", "card"),
        ],
    )
    def test_wrong_argument_types(self, kwargs, message, argument):
        args = {"id": "a1", "provider": "p", **kwargs}
        assert raised(TypeError, lambda: Agent(**args)) == (message, [f"while processing '{argument}'"])

    def test_repr_shows_id_and_provider(self):
        agent = Agent('a"1', "acme", platform="x", card=AgentCard.coding(coding_card()))
        assert repr(agent) == str(agent) == 'Agent(id="a\\"1", provider="acme")'

    def test_equality_covers_every_field(self):
        reference = Agent("a", "p", platform="x")
        assert reference != Agent("b", "p", platform="x")
        assert reference != Agent("a", "q", platform="x")
        assert reference != Agent("a", "p")
        assert reference != Agent("a", "p", platform="x", card=AgentCard.react(ReActAgentCard(model="m")))
        assert (reference == "a") is False
        with pytest.raises(TypeError):
            hash(reference)


class TestAgentCard:
    def test_variants(self):
        react = AgentCard.react(ReActAgentCard(model="m"))
        coding = AgentCard.coding(coding_card())
        assert (react.variant, coding.variant) == ("ReActAgentCard", "CodingAgentCard")
        assert react.react_card == ReActAgentCard(model="m") and react.coding_card is None
        assert coding.coding_card == coding_card() and coding.react_card is None
        assert react != coding
        assert react == AgentCard.react(ReActAgentCard(model="m"))
        assert react.react_card is not react.react_card

    @pytest.mark.parametrize(
        "call, message",
        [
            (lambda: AgentCard.react(coding_card()), "'CodingAgentCard' object is not an instance of 'ReActAgentCard'"),
            (lambda: AgentCard.react(None), "'None' is not an instance of 'ReActAgentCard'"),
            (lambda: AgentCard.coding(ReActAgentCard()), "'ReActAgentCard' object is not an instance of 'CodingAgentCard'"),
            (lambda: AgentCard.coding(card=None), "'None' is not an instance of 'CodingAgentCard'"),
        ],
    )
    def test_factories_take_only_their_card(self, call, message):
        assert raised(TypeError, call) == (message, ["while processing 'card'"])

    def test_factory_keeps_a_decoded_card_as_read(self):
        decoded = ReActAgentCard.from_dict({"sub_agents": [{"name": "b"}, {"name": "a"}]})
        card = AgentCard.react(card=decoded)
        assert [s.name for s in card.react_card.sub_agents] == ["b", "a"]
        built = AgentCard.react(ReActAgentCard(sub_agents=[ReActSubAgentDescriptor(name="b"),
                                                           ReActSubAgentDescriptor(name="a")]))
        assert card != built

    @pytest.mark.parametrize(
        "card, text",
        [
            (AgentCard.react(ReActAgentCard()), "AgentCard.react(ReActAgentCard(model=None, tools=0))"),
            (AgentCard.react(ReActAgentCard(model="m1", tools=[Tool("t", "d", [])])),
             'AgentCard.react(ReActAgentCard(model=Some("m1"), tools=1))'),
            (AgentCard.coding(coding_card(model="x\n", assets=[CodingAgentCardAsset(**IDENTITY)],
                                          capabilities=CodingAgentCardCapabilities(tools=[Tool("t", "d", [])] * 2))),
             'AgentCard.coding(CodingAgentCard(model=Some("x\\n"), tools=2, assets=1))'),
        ],
    )
    def test_repr(self, card, text):
        assert repr(card) == str(card) == text

    def test_dict_round_trips(self):
        react = AgentCard.react(ReActAgentCard(model="m"))
        assert react.to_dict() == {"ReActAgentCard": {"model": "m"}}
        assert AgentCard.from_dict(react.to_dict()) == react
        coding = AgentCard.coding(coding_card())
        assert coding.to_dict() == {"CodingAgentCard": CODING_DICT}
        assert AgentCard.from_dict(data=coding.to_dict()) == coding
        assert AgentCard.from_dict({"ReActAgentCard": {}}) == AgentCard.react(ReActAgentCard())


class TestDictConversion:
    def test_agent_round_trip(self):
        agent = Agent("a1", "p", card=AgentCard.coding(coding_card(normalized_context={"k": "v"})))
        data = agent.to_dict()
        assert data == agent_dict({"CodingAgentCard": {**CODING_DICT, "normalized_context": {"k": "v"}}})
        assert Agent.from_dict(data) == agent

    def test_unknown_keys_and_array_form(self):
        data = {"card": {"ReActAgentCard": {}}, "extra": [1, 2], "platform": "x", "provider": "p", "id": "a1"}
        assert Agent.from_dict(data) == Agent("a1", "p", platform="x")
        assert list(Agent.from_dict(data).to_dict()) == ["id", "provider", "platform", "card"]
        assert Agent.from_dict(["a1", "p", "x", {"ReActAgentCard": {}}]) == Agent("a1", "p", platform="x")

    def test_asset_content_is_kept_but_never_written_to_dicts(self):
        content = {"content": "body", "content_media_type": "text/plain", "content_size_bytes": 4,
                   "content_truncated": True}
        with_content = agent_dict({"CodingAgentCard": {**CODING_DICT, "assets": [{**IDENTITY, **content}]}})
        without = agent_dict({"CodingAgentCard": {**CODING_DICT, "assets": [IDENTITY]}})
        decoded = Agent.from_dict(with_content)
        assert decoded.to_dict() == without
        assert decoded.card.to_dict() == without["card"]
        assert decoded.card.coding_card.to_dict() == without["card"]["CodingAgentCard"]
        assert decoded != Agent.from_dict(without)
        assert decoded.card.coding_card.assets[0] != CodingAgentCardAsset(**IDENTITY)

    @pytest.mark.parametrize(
        "card, message",
        [
            ("ReActAgentCard", "invalid type: unit variant, expected newtype variant"),
            ("react", "unknown variant `react`, expected `ReActAgentCard` or `CodingAgentCard`"),
            ({"reactagentcard": {}}, "unknown variant `reactagentcard`, expected `ReActAgentCard` or `CodingAgentCard`"),
            ({}, "invalid value: map, expected map with a single key"),
            ({"ReActAgentCard": {}, "CodingAgentCard": {}}, "invalid value: map, expected map with a single key"),
            (None, "invalid type: null, expected string or map"),
            ({"CodingAgentCard": None}, "invalid type: null, expected struct CodingAgentCard"),
            ({"ReActAgentCard": {"tools": {}}}, "invalid type: map, expected a sequence"),
        ],
    )
    def test_card_errors(self, card, message):
        assert raised(ValueError, lambda: Agent.from_dict(agent_dict(card)))[0] == message
        assert raised(ValueError, lambda: AgentCard.from_dict(card))[0] == message

    @pytest.mark.parametrize(
        "data, message",
        [
            ({"id": "a1", "provider": "p", "card": {"ReActAgentCard": {}}}, "missing field `platform`"),
            ({"id": "a1", "provider": "p"}, "missing field `platform`"),
            ({}, "missing field `id`"),
            ({"id": 7, "provider": "p", "platform": "", "card": {"ReActAgentCard": {}}},
             "invalid type: integer `7`, expected a string"),
            (["a1", "p", "x"], "invalid length 3, expected struct Agent with 4 elements"),
            (["a1", "p", "x", {"ReActAgentCard": {}}, 5], "invalid length 5, expected fewer elements in array"),
            ('ab"c', 'invalid type: string "ab\\"c", expected struct Agent'),
        ],
    )
    def test_agent_errors(self, data, message):
        assert raised(ValueError, lambda: Agent.from_dict(data)) == (message, [])

    def test_conversion_errors_pass_unchanged(self):
        with pytest.raises(TypeError):
            Agent.from_dict({1: "a"})
        with pytest.raises(ValueError, match="^integer out of range"):
            AgentCard.from_dict({"ReActAgentCard": {"model": 2**70}})
