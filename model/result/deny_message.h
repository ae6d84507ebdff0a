#pragma once

// The texts an agent shows the model and the user when a step is denied:
// the policy context (one block per matched policy) and the deny message
// (reason, policy context, steering guidance).

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "model/result/adjudicated.h"

namespace revizer::result {

// One block per policy that has an id, a description or metadata entries,
// joined by single newlines; nothing when no policy contributes:
//
//   [Policy: no-rm] Never delete data
//     owner: sec
//     team: infra
//
// Metadata keys come in byte order whatever order the map holds them in;
// the escalation fields never appear.
std::optional<std::string> policy_context_text(std::span<const PolicyMetadata> policies);

// The reason (or `default_reason` when there is none; an empty reason is
// still a reason), then the policy context, then the steering guidance
// ("[Steering guidance]", the explanation and "- " before each instruction,
// blank ones left out), parts separated by a blank line.
std::string deny_message(const Adjudicated& result, std::string_view default_reason);

}  // namespace revizer::result
