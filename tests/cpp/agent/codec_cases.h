#pragma once

// Table-driven checks of a record's JSON form: each case is an input text
// and what comes out of decoding it and writing it back (the written text,
// or the error text), in direct and in buffered mode.

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>

#include "model/json/codec.h"
#include "model/json/reader.h"
#include "model/json/writer.h"

namespace revizer::agent::testing {

inline json::Value value_of(std::string_view text) {
  auto v = json::parse(text);
  EXPECT_TRUE(v) << text;
  return v ? std::move(*v) : json::Value();
}

// Decodes `text` as R and writes it back; an error gives its text.
template <class R>
std::string round_trip(std::string_view text, json::Mode mode = json::Mode::Direct) {
  auto r = json::decode<R>(value_of(text), mode);
  if (!r) return r.error().to_string();
  return json::write(json::encode(*r));
}

struct Case {
  const char* input;
  const char* direct;             // written back, or the error text
  const char* buffered = nullptr;  // nullptr: the same as direct
};

// Runs every case in both modes.
template <class R>
void expect_cases(std::span<const Case> cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(round_trip<R>(c.input), c.direct) << c.input;
    EXPECT_EQ(round_trip<R>(c.input, json::Mode::Buffered), c.buffered ? c.buffered : c.direct)
        << c.input << " (buffered)";
  }
}

}  // namespace revizer::agent::testing
