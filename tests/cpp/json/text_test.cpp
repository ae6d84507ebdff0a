// The JSON text reader and writer.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "model/json/float_text.h"
#include "model/json/reader.h"
#include "model/json/writer.h"

namespace revizer::json {
namespace {

std::string error_of(std::string_view text) {
  auto r = parse(text);
  if (r) return "no error, read " + write(*r);
  return r.error().to_string();
}

std::string round_trip(std::string_view text) {
  auto r = parse(text);
  if (!r) return "error: " + r.error().to_string();
  return write(*r);
}

TEST(JsonReader, ErrorTextsAndPositions) {
  struct Case {
    std::string text;
    std::string error;
  };
  const Case cases[] = {
      {"", "EOF while parsing a value at line 1 column 0"},
      {"   ", "EOF while parsing a value at line 1 column 3"},
      {"{}x", "trailing characters at line 1 column 3"},
      {"1 2", "trailing characters at line 1 column 3"},
      {"{", "EOF while parsing an object at line 1 column 1"},
      {"[", "EOF while parsing a list at line 1 column 1"},
      {"[1", "EOF while parsing a list at line 1 column 2"},
      {"[1,", "EOF while parsing a value at line 1 column 3"},
      {"[1,]", "trailing comma at line 1 column 4"},
      {"{\"a\":1,}", "trailing comma at line 1 column 8"},
      {"[1 2]", "expected `,` or `]` at line 1 column 4"},
      {"{\"a\":1 \"b\":2}", "expected `,` or `}` at line 1 column 8"},
      {"{\"a\" 1}", "expected `:` at line 1 column 6"},
      {"{\"a\"", "EOF while parsing an object at line 1 column 4"},
      {"{\"a\":", "EOF while parsing a value at line 1 column 5"},
      {"{1:2}", "key must be a string at line 1 column 2"},
      {"{\"a\":1,2}", "key must be a string at line 1 column 8"},
      {"[,]", "expected value at line 1 column 2"},
      {"x", "expected value at line 1 column 1"},
      {"nul", "EOF while parsing a value at line 1 column 3"},
      {"nulx", "expected ident at line 1 column 4"},
      {"tru", "EOF while parsing a value at line 1 column 3"},
      {"fals3", "expected ident at line 1 column 5"},
      {"-", "EOF while parsing a value at line 1 column 1"},
      {"-a", "invalid number at line 1 column 2"},
      {"01", "invalid number at line 1 column 2"},
      {"1.", "EOF while parsing a value at line 1 column 2"},
      {"1.x", "invalid number at line 1 column 3"},
      {"1e", "EOF while parsing a value at line 1 column 2"},
      {"1e+", "EOF while parsing a value at line 1 column 3"},
      {"1ex", "invalid number at line 1 column 3"},
      {"1e400", "number out of range at line 1 column 5"},
      {"-1e400", "number out of range at line 1 column 6"},
      {"\"abc", "EOF while parsing a string at line 1 column 4"},
      {"\"a\\", "EOF while parsing a string at line 1 column 3"},
      {"\"\\x\"", "invalid escape at line 1 column 3"},
      {"\"\\u12\"", "EOF while parsing a string at line 1 column 6"},
      {"\"\\u12g4\"", "invalid escape at line 1 column 7"},
      {"\"\\udc00\"", "lone leading surrogate in hex escape at line 1 column 7"},
      {"\"\\ud800\"", "unexpected end of hex escape at line 1 column 8"},
      {"\"\\ud800\\n\"", "unexpected end of hex escape at line 1 column 9"},
      {"\"\\ud800\\u0041\"", "lone leading surrogate in hex escape at line 1 column 13"},
      {"\"a\tb\"", "control character (\\u0000-\\u001F) found while parsing a string at line 1 column 3"},
      {"\"\xff\"", "invalid unicode code point at line 1 column 3"},
      {"\"\xed\xa0\x80\"", "invalid unicode code point at line 1 column 5"},  // encoded surrogate
      {"[1,\n  2,\n  x]", "expected value at line 3 column 3"},
      {"{\n}\n\nx", "trailing characters at line 4 column 1"},
      {std::string(127, '[') + std::string(127, ']'), "no error, read " + std::string(127, '[') + std::string(127, ']')},
      {std::string(128, '['), "recursion limit exceeded at line 1 column 128"},
      {std::string(127, '[') + "{", "recursion limit exceeded at line 1 column 128"},
  };
  for (const Case& c : cases) EXPECT_EQ(error_of(c.text), c.error) << c.text;
}

TEST(JsonReader, NumberKinds) {
  struct Case {
    std::string text;
    Kind kind;
    std::string written;
  };
  const Case cases[] = {
      {"0", Kind::U64, "0"},
      {"18446744073709551615", Kind::U64, "18446744073709551615"},
      {"18446744073709551616", Kind::F64, "1.8446744073709552e+19"},
      {"-1", Kind::I64, "-1"},
      {"-9223372036854775808", Kind::I64, "-9223372036854775808"},
      {"-9223372036854775809", Kind::F64, "-9.223372036854776e+18"},
      {"-0", Kind::U64, "0"},
      {"-0.0", Kind::F64, "-0.0"},
      {"-0e0", Kind::F64, "-0.0"},
      {"2.0", Kind::F64, "2.0"},
      {"1E2", Kind::F64, "100.0"},
      {"1e-400", Kind::F64, "0.0"},
      {"-1e-400", Kind::F64, "-0.0"},
      {"0.1", Kind::F64, "0.1"},
      {"5e-324", Kind::F64, "5e-324"},
      {"1.7976931348623157e308", Kind::F64, "1.7976931348623157e+308"},
      {"123456789012345678901234567890", Kind::F64, "1.2345678901234568e+29"},
  };
  for (const Case& c : cases) {
    auto r = parse(c.text);
    ASSERT_TRUE(r) << c.text << ": " << r.error().to_string();
    EXPECT_EQ(r->kind(), c.kind) << c.text;
    EXPECT_EQ(write(*r), c.written) << c.text;
  }
}

TEST(JsonReader, RepeatedKeyKeepsFirstPositionAndLastValue) {
  EXPECT_EQ(round_trip(R"({"id":"a","x":1,"id":"b"})"), R"({"id":"b","x":1})");
  std::string big = "{";
  for (int i = 0; i < 2000; ++i) big += "\"k" + std::to_string(i % 1000) + "\":" + std::to_string(i) + ",";
  big.back() = '}';
  auto r = parse(big);
  ASSERT_TRUE(r);
  ASSERT_EQ(r->as_object().size(), 1000u);
  EXPECT_EQ(r->as_object().members()[7].key, "k7");
  EXPECT_EQ(r->as_object().members()[7].value, Value(1007));
}

TEST(JsonReader, StringsAndEscapes) {
  struct Case {
    std::string text;
    std::string value;
  };
  const Case cases[] = {
      {R"("plain text that is longer than eight bytes")", "plain text that is longer than eight bytes"},
      {R"("\"\\\/\b\f\n\r\t")", "\"\\/\b\f\n\r\t"},
      {R"("\u00e9\u20ac")", "\xc3\xa9\xe2\x82\xac"},
      {R"("\ud83d\ude00")", "\xf0\x9f\x98\x80"},
      {"\"caf\xc3\xa9 \xf0\x9f\x98\x80 ok\"", "caf\xc3\xa9 \xf0\x9f\x98\x80 ok"},
      {R"("\u0000")", std::string(1, '\0')},
  };
  for (const Case& c : cases) {
    auto r = parse(c.text);
    ASSERT_TRUE(r) << c.text << ": " << r.error().to_string();
    EXPECT_EQ(*r, Value(c.value)) << c.text;
  }
}

TEST(JsonWriter, CompactTextAndEscapes) {
  EXPECT_EQ(round_trip(" { \"a\" : [ 1 , -2 , 1.5 , true , false , null ] , \"b\" : { } , \"c\" : [ ] } "),
            R"({"a":[1,-2,1.5,true,false,null],"b":{},"c":[]})");
  std::string all_controls;
  for (char c = 1; c < 0x20; ++c) all_controls.push_back(c);
  EXPECT_EQ(write(Value(all_controls)),
            "\"\\u0001\\u0002\\u0003\\u0004\\u0005\\u0006\\u0007\\b\\t\\n\\u000b\\f\\r\\u000e\\u000f"
            "\\u0010\\u0011\\u0012\\u0013\\u0014\\u0015\\u0016\\u0017\\u0018\\u0019\\u001a\\u001b"
            "\\u001c\\u001d\\u001e\\u001f\"");
  EXPECT_EQ(write(Value("a \"quoted\" back\\slash / \x7f caf\xc3\xa9 and a long tail")),
            "\"a \\\"quoted\\\" back\\\\slash / \x7f caf\xc3\xa9 and a long tail\"");
  EXPECT_EQ(write(Value(std::string(1, '\0'))), "\"\\u0000\"");
  EXPECT_EQ(write(Value(std::numeric_limits<double>::infinity())), "null");
}

// The writer's buffer grows while strings and escapes are written: texts of
// every length around its first sizes, with escapes at the start, the end and
// every few bytes, all in one array, read back unchanged.
TEST(JsonWriter, TextsAcrossBufferGrowth) {
  Array texts;
  for (std::size_t n = 0; n < 700; n += 7) {
    std::string plain(n, 'x');
    std::string escaped(n, 'y');
    for (std::size_t i = 0; i < n; i += 5) escaped[i] = i % 2 ? '"' : '\x01';
    if (n > 0) escaped[n - 1] = '\n';
    texts.push_back(Value(plain));
    texts.push_back(Value(escaped));
  }
  const Value all(std::move(texts));
  const std::string text = write(all);
  auto back = parse(text);
  ASSERT_TRUE(back) << back.error().to_string();
  EXPECT_TRUE(*back == all);
  std::string appended = "prefix";
  write_to(all, appended);
  EXPECT_EQ(appended, "prefix" + text);
}

// The escape scan reads words, the last one overlapping bytes already seen:
// one byte of each kind at every position of texts of every short length,
// against a byte-by-byte reference.
TEST(JsonWriter, EscapesAtEveryPositionOfShortTexts) {
  auto reference = [](const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
      static constexpr char kHex[] = "0123456789abcdef";
      switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\b': out += "\\b"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\f': out += "\\f"; break;
        case '\r': out += "\\r"; break;
        default:
          if (c < 0x20) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
          } else {
            out += static_cast<char>(c);
          }
      }
    }
    return out + "\"";
  };
  const char kinds[] = {'"', '\\', '\n', '\x1f', '\0', ' ', '\x7f', '\xc3', '!', '#', '[', ']'};
  for (std::size_t n = 1; n <= 26; ++n) {
    for (std::size_t i = 0; i < n; ++i) {
      for (char kind : kinds) {
        std::string text(n, 'a');
        text[i] = kind;
        ASSERT_EQ(write(Value(text)), reference(text)) << "length " << n << ", position " << i;
        text[n - 1 - (i * 7) % n] = '"';  // a second one, before or after
        ASSERT_EQ(write(Value(text)), reference(text)) << "length " << n << ", position " << i;
      }
    }
  }
}

TEST(JsonWriter, WritesMillionLevelsDeep) {
  Value v(1);
  for (int i = 0; i < 1'000'000; ++i) {
    Array a;
    a.push_back(std::move(v));
    v = Value(std::move(a));
  }
  const std::string text = write(v);
  EXPECT_EQ(text.size(), 2'000'001u);
  EXPECT_EQ(text.substr(999'998, 5), "[[1]]");
}

TEST(FloatText, ShortestRoundTripInBothForms) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {2.0, "2.0"},          {1.5, "1.5"},       {-0.0, "-0.0"},       {0.0, "0.0"},
      {0.00001, "0.00001"},  {1e-6, "1e-6"},     {1.5e-7, "1.5e-7"},   {1e15, "1000000000000000.0"},
      {1e16, "1e+16"},       {123.456, "123.456"}, {0.1 + 0.2, "0.30000000000000004"},
      {1.7976931348623157e308, "1.7976931348623157e+308"},  {-2.5e-300, "-2.5e-300"},
      {123456789012345.6, "123456789012345.6"},
  };
  for (const Case& c : cases) {
    char buf[kFloatTextMax];
    EXPECT_EQ(std::string(buf, format_float(c.value, buf)), c.text);
    auto back = parse(c.text);
    ASSERT_TRUE(back) << c.text;
    EXPECT_TRUE(back->is_f64()) << c.text;
    EXPECT_EQ(std::signbit(back->as_f64()), std::signbit(c.value));
    EXPECT_EQ(back->as_f64(), c.value) << c.text;
  }
}

}  // namespace
}  // namespace revizer::json
