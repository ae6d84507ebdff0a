// CodingAgentCardAsset: "A capability-bearing artifact discovered during agent
// introspection."
#include "python/src/classes/agent_classes.h"
#include "python/src/classes/data_class.h"

namespace revizer::python {
namespace {

using agent::CodingAgentCardAsset;

// CodingAgentCardAsset(scope="project", kind="skill", name="review")
PyObject* repr_impl(const CodingAgentCardAsset& asset) {
  return ReprText("CodingAgentCardAsset")
      .quoted("scope", asset.scope)
      .quoted("kind", asset.kind)
      .quoted("name", asset.name)
      .finish();
}

// The content fields come only from a dict and never show: no parameter and
// no property, and to_dict strips them.
constexpr auto kCodingAgentCardAsset = describe<CodingAgentCardAssetClass>(
    {.name = "CodingAgentCardAsset",
     .doc = "A capability-bearing artifact discovered during agent introspection.",
     .repr = &repr_impl,
     .strip_asset_content = true},
    kw<arg::Text>("scope", &CodingAgentCardAsset::scope),
    kw<arg::Text>("kind", &CodingAgentCardAsset::kind),
    kw<arg::Text>("name", &CodingAgentCardAsset::name),
    kw<arg::Text>("path", &CodingAgentCardAsset::path),
    kw<arg::Text>("content_sha256", &CodingAgentCardAsset::content_sha256));

}  // namespace

template <>
const ClassDef& CodingAgentCardAssetClass::def() {
  return data_class<kCodingAgentCardAsset>();
}

}  // namespace revizer::python
