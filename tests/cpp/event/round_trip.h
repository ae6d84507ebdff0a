#pragma once

// Reads JSON text as a type through its description and writes it back, so a
// table row states the written form or the error text in one string.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "model/json/codec.h"
#include "model/json/reader.h"
#include "model/json/writer.h"

namespace revizer::event::testing {

inline json::Value value_of(std::string_view text) {
  auto v = json::parse(text);
  EXPECT_TRUE(v) << text;
  return v ? std::move(*v) : json::Value();
}

// The written form of what `text` reads as, or the reading error's text.
template <class T>
std::string round_trip(std::string_view text, json::Mode mode = json::Mode::Direct) {
  auto r = json::decode<T>(value_of(text), mode);
  if (!r) return r.error().to_string();
  return json::write(json::encode(*r));
}

// A row: the input, the result in direct mode, and in buffered mode when
// that differs (nullptr: the same).
struct ModeCase {
  const char* input;
  const char* direct;
  const char* buffered = nullptr;
};

template <class T, std::size_t N>
void expect_cases(const ModeCase (&cases)[N]) {
  for (const ModeCase& c : cases) {
    EXPECT_EQ(round_trip<T>(c.input), c.direct) << c.input;
    EXPECT_EQ(round_trip<T>(c.input, json::Mode::Buffered), c.buffered ? c.buffered : c.direct)
        << c.input << " (buffered)";
  }
}

}  // namespace revizer::event::testing
