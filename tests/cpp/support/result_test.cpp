#include "support/result.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace revizer {
namespace {

Result<std::unique_ptr<int>, std::string> make(bool ok) {
  if (!ok) return fail(std::string("no"));
  return std::make_unique<int>(7);
}

TEST(Result, HoldsValueOrErrorAndMovesOnlyTypes) {
  auto good = make(true);
  ASSERT_TRUE(good);
  EXPECT_EQ(**good, 7);
  std::unique_ptr<int> taken = std::move(good).value();
  EXPECT_EQ(*taken, 7);
  auto bad = make(false);
  ASSERT_FALSE(bad);
  EXPECT_EQ(bad.error(), "no");
  Status<std::string> done = Ok{};
  EXPECT_TRUE(done.has_value());
}

}  // namespace
}  // namespace revizer
