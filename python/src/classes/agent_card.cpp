// AgentCard: "Agent card enum wrapping the card variant attached to an Agent."
// Made only by AgentCard.react, AgentCard.coding, from_dict and Agent.card.
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"

namespace revizer::python {
namespace {

using agent::AgentCard;
namespace card = agent::card;

// AgentCard.react(ReActAgentCard(model=None, tools=0)) or
// AgentCard.coding(CodingAgentCard(model=None, tools=0, assets=0))
PyObject* repr_impl(const AgentCard& held) {
  if (const auto* react = std::get_if<card::kReAct>(&held)) {
    std::string out = "AgentCard.react(ReActAgentCard(model=";
    repr::append_optional_text(out, react->model);
    out += ", tools=";
    repr::append_count(out, react->tools.size());
    out += "))";
    return new_str(out);
  }
  const agent::CodingAgentCard& coding = *std::get<card::kCoding>(held);
  std::string out = "AgentCard.coding(CodingAgentCard(model=";
  repr::append_optional_text(out, coding.model);
  out += ", tools=";
  repr::append_count(out, coding.capabilities.tools.size());
  out += ", assets=";
  repr::append_count(out, coding.assets.size());
  out += "))";
  return new_str(out);
}

PyObject* variant(const AgentCard& held) { return new_str(agent::record::kAgentCard.names[held.index()]); }

PyObject* react_card(const AgentCard& held) {
  if (const auto* react = std::get_if<card::kReAct>(&held)) return create_object<ReActAgentCardClass>(*react);
  Py_RETURN_NONE;
}

PyObject* coding_card(const AgentCard& held) {
  if (const auto* coding = std::get_if<card::kCoding>(&held)) return create_object<CodingAgentCardClass>(**coding);
  Py_RETURN_NONE;
}

PyObject* react_impl(const agent::ReActAgentCard* react) {
  return create_object<AgentCardClass>(AgentCard(std::in_place_index<card::kReAct>, *react));
}

PyObject* coding_impl(const agent::CodingAgentCard* coding) {
  return create_object<AgentCardClass>(AgentCard(std::in_place_index<card::kCoding>, *coding));
}

constexpr auto kReact = signature("AgentCard", "react",
                                  "react(card)\n--\n\nCreate an AgentCard from a ReActAgentCard.", pos("card"));
constexpr auto kCoding = signature("AgentCard", "coding",
                                   "coding(card)\n--\n\nCreate an AgentCard from a CodingAgentCard.", pos("card"));

constexpr auto kAgentCard = describe<AgentCardClass>(
    {.name = "AgentCard",
     .doc = "Agent card enum wrapping the card variant attached to an Agent.",
     .repr = &repr_impl,
     .constructor = false,
     .strip_asset_content = true},
    prop<&variant>("variant").doc("Returns the variant name: \"ReActAgentCard\" or \"CodingAgentCard\"."),
    prop<&react_card>("react_card").doc("If this is a ReActAgentCard, return it; otherwise None."),
    prop<&coding_card>("coding_card").doc("If this is a CodingAgentCard, return it; otherwise None."));

}  // namespace

template <>
const ClassDef& AgentCardClass::def() {
  return data_class<kAgentCard>(
      {.methods = {static_method<kReact, &react_impl, arg::RecordRef<ReActAgentCardClass>>(),
                   static_method<kCoding, &coding_impl, arg::RecordRef<CodingAgentCardClass>>()}});
}

}  // namespace revizer::python
