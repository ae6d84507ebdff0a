#include "core/identifiers.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>

namespace revizer::core {
namespace {

TEST(Identifiers, PrefixAndLowerCaseVersion4Uuid) {
  const std::regex form("(evt|call|corr|snap)-[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
  std::set<std::string> seen;
  for (std::string_view prefix : {kEventIdPrefix, kCallIdPrefix, kCorrelationIdPrefix, kSnapshotIdPrefix}) {
    for (int i = 0; i < 100; ++i) {
      Result<std::string, std::string> id = generate_identifier(prefix);
      ASSERT_TRUE(id) << id.error();
      EXPECT_TRUE(std::regex_match(*id, form)) << *id;
      EXPECT_TRUE(id->starts_with(prefix));
      seen.insert(*id);
    }
  }
  EXPECT_EQ(seen.size(), 400u);
}

}  // namespace
}  // namespace revizer::core
