// CodingAgentCard: "Universal capability document for a coding agent runtime
// (SBOM-like)."
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"

namespace revizer::python {
namespace {

using agent::CodingAgentCard;

// CodingAgentCard(model=None, workspace_root="/w", execution_mode="default", tools=0, assets=1, settings=2)
PyObject* repr_impl(const CodingAgentCard& card) {
  return ReprText("CodingAgentCard")
      .optional_text("model", card.model)
      .quoted("workspace_root", card.workspace_root)
      .quoted("execution_mode", card.execution_mode)
      .count("tools", card.capabilities.tools.size())
      .count("assets", card.assets.size())
      .count("settings", card.settings.size())
      .finish();
}

constexpr auto kCodingAgentCard = describe<CodingAgentCardClass>(
    {.name = "CodingAgentCard",
     .doc = "Universal capability document for a coding agent runtime (SBOM-like).",
     .repr = &repr_impl,
     .strip_asset_content = true},
    kw<arg::Record<AgentCardMetadataClass>>("metadata", &CodingAgentCard::metadata),
    prop("model", &CodingAgentCard::model),
    kw<arg::Text>("workspace_root", &CodingAgentCard::workspace_root),
    kw<arg::Text>("execution_mode", &CodingAgentCard::execution_mode),
    kw<arg::Record<CodingAgentCardCapabilitiesClass>>("capabilities", &CodingAgentCard::capabilities),
    kw<arg::Opt<arg::Text>>("model", &CodingAgentCard::model, "None"),
    kw<arg::NoneDefaulted<arg::Text>>("system_instruction", &CodingAgentCard::system_instruction, "None"),
    prop("capabilities", &CodingAgentCard::capabilities),
    kw<arg::OptList<arg::Record<CodingAgentCardAssetClass>>>("assets", &CodingAgentCard::assets, "None"),
    kw<arg::OptList<arg::Record<CodingAgentCardSettingsSnapshotClass>>>("settings", &CodingAgentCard::settings, "None"),
    kw<arg::NoneDefaulted<arg::StrMap>>("normalized_context", &CodingAgentCard::normalized_context, "None"));

}  // namespace

template <>
const ClassDef& CodingAgentCardClass::def() {
  return data_class<kCodingAgentCard>();
}

}  // namespace revizer::python
