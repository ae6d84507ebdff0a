#pragma once

// Table-driven checks of a record's JSON form: each case is an input text and
// what decoding it gives, written back as compact text or the error text, in
// direct mode and in buffered content.

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <string_view>

#include "model/json/codec.h"
#include "model/json/reader.h"
#include "model/json/record_text.h"
#include "model/json/writer.h"

namespace revizer::testing {

inline json::Value value_of(std::string_view text) {
  auto v = json::parse(text);
  EXPECT_TRUE(v) << text;
  return v ? std::move(*v) : json::Value();
}

// Decodes `text` as R and writes it back; a failure gives its error text.
template <class R>
std::string round_trip(std::string_view text, json::Mode mode = json::Mode::Direct) {
  auto r = json::decode<R>(value_of(text), mode);
  if (!r) return r.error().to_string();
  std::string written = json::write(json::encode(*r));
  // The direct text writer must agree with writing the encoded value.
  std::string direct;
  json::write_text(*r, direct);
  EXPECT_EQ(direct, written) << text;
  return written;
}

struct JsonCase {
  const char* input;
  const char* direct;              // written back, or the error text
  const char* buffered = nullptr;  // in buffered content; nullptr: as direct
};

template <class R>
void expect_cases(std::span<const JsonCase> cases) {
  for (const JsonCase& c : cases) {
    EXPECT_EQ(round_trip<R>(c.input), c.direct) << c.input;
    EXPECT_EQ(round_trip<R>(c.input, json::Mode::Buffered), c.buffered ? c.buffered : c.direct)
        << "buffered: " << c.input;
  }
}

}  // namespace revizer::testing
