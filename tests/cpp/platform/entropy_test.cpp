#include "platform/entropy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

namespace revizer::platform {
namespace {

// More than one 256-byte step of the system call, so every step is filled.
TEST(Entropy, FillsEveryByteAcrossSteps) {
  std::array<unsigned char, 700> first{};
  std::array<unsigned char, 700> second{};
  ASSERT_EQ(fill_random(first.data(), first.size()), 0);
  ASSERT_EQ(fill_random(second.data(), second.size()), 0);
  EXPECT_NE(first, second);
  // A tail left unfilled would stay zero; 64 zero bytes in a row by chance
  // is out of the question.
  const std::array<unsigned char, 64> zeros{};
  EXPECT_EQ(std::search(first.begin(), first.end(), zeros.begin(), zeros.end()), first.end());
  EXPECT_EQ(fill_random(nullptr, 0), 0);
}

}  // namespace
}  // namespace revizer::platform
