#include "model/result/deny_message.h"

#include <algorithm>
#include <vector>

#include "text/white_space.h"

namespace revizer::result {
namespace {

std::string join(std::span<const std::string> lines, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i > 0) out.append(separator);
    out.append(lines[i]);
  }
  return out;
}

// The block of one policy, or nothing when it would be empty.
std::optional<std::string> policy_context_block(const PolicyMetadata& policy) {
  std::vector<std::string> lines;
  if (policy.policy_id) {
    std::string line = "[Policy: " + *policy.policy_id + "]";
    if (policy.description) line += " " + *policy.description;
    lines.push_back(std::move(line));
  } else if (policy.description) {
    lines.push_back(*policy.description);
  }
  // The map's own order is random; std::string compares bytes as unsigned.
  std::vector<const std::pair<const std::string, std::string>*> entries;
  entries.reserve(policy.metadata.size());
  for (const auto& entry : policy.metadata) entries.push_back(&entry);
  std::sort(entries.begin(), entries.end(), [](const auto* a, const auto* b) { return a->first < b->first; });
  for (const auto* entry : entries) lines.push_back("  " + entry->first + ": " + entry->second);
  std::string block = join(lines, "\n");
  if (block.empty()) return std::nullopt;
  return block;
}

// "[Steering guidance]" and what of the steering is not blank; nothing when
// only the header would remain.
std::optional<std::string> steering_block(const Steering& steering) {
  std::vector<std::string> lines{"[Steering guidance]"};
  if (!unicode::is_blank(steering.explanation)) lines.push_back(steering.explanation);
  for (const std::string& instruction : steering.instructions)
    if (!unicode::is_blank(instruction)) lines.push_back("- " + instruction);
  if (lines.size() == 1) return std::nullopt;
  return join(lines, "\n");
}

}  // namespace

std::optional<std::string> policy_context_text(std::span<const PolicyMetadata> policies) {
  std::vector<std::string> blocks;
  for (const PolicyMetadata& policy : policies)
    if (auto block = policy_context_block(policy)) blocks.push_back(std::move(*block));
  if (blocks.empty()) return std::nullopt;
  return join(blocks, "\n");
}

std::string deny_message(const Adjudicated& result, std::string_view default_reason) {
  std::vector<std::string> parts{result.reason ? *result.reason : std::string(default_reason)};
  if (auto context = policy_context_text(result.metadata)) parts.push_back(std::move(*context));
  if (result.steering)
    if (auto guidance = steering_block(*result.steering)) parts.push_back(std::move(*guidance));
  return join(parts, "\n\n");
}

}  // namespace revizer::result
