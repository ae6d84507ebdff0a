#pragma once

// The JSON text scanner. `parse` (reader.h) reads a whole document into a
// Value tree with it; readers that walk the text themselves (pull_reader.h,
// records straight from text) take its steps one at a time, so both follow
// one set of syntax, string, number and nesting rules.
//
// Every step returns false on a syntax error (the error and its position are
// kept for `error()`); the walking steps also return false when the next
// token is not the one asked for, which a walker takes as "not mine".

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "model/json/byte_scan.h"
#include "model/json/codec_error.h"
#include "model/json/value.h"

namespace revizer::json {

class TextReader {
 public:
  // Nesting levels the reader accepts; the next one fails.
  static constexpr int kMaxDepth = 127;

  explicit TextReader(std::string_view text) : begin_(text.data()), p_(text.data()), end_(text.data() + text.size()) {}

  // One value, then nothing but white space.
  bool document(Value& out);
  // The next value (after white space) as a tree.
  bool value(Value& out);
  [[gnu::cold]] CodecError error() const;

  // --- steps for walkers ---

  // The first byte of the next value, after white space; false at the end.
  [[gnu::always_inline]] bool peek(char& c) {
    skip_space();
    if (p_ == end_) return false;
    c = *p_;
    return true;
  }
  // Nothing but white space is left.
  bool at_end() {
    skip_space();
    return p_ == end_;
  }
  // Enters the array ('[') or object ('{') that comes next, counting its
  // level; `close()` leaves the level once its last entry reported `closed`.
  [[gnu::always_inline]] bool open(char bracket) {
    skip_space();
    if (p_ == end_ || *p_ != bracket || depth_ == kMaxDepth) return false;
    ++p_;
    ++depth_;
    return true;
  }
  void close() { --depth_; }
  // Steps to the next element of an open array, or sets `closed` when the
  // array ended.
  bool next_element(bool first, bool& closed) {
    return next_entry(first, ']', Code::EofList, Code::ExpectedListCommaOrEnd, closed);
  }
  // Steps to the next entry of an open object, the cursor then on its key's
  // opening quote, or sets `closed` when the object ended.
  [[gnu::always_inline]] bool next_key(bool first, bool& closed) {
    if (!next_entry(first, '}', Code::EofObject, Code::ExpectedObjectCommaOrEnd, closed)) return false;
    if (!closed && *p_ != '"') return fail_peek(Code::KeyMustBeAString);
    return true;
  }
  // After next_key: consumes the key when its text is exactly `plain` (a
  // key without escapes, quotes or control characters, as field names
  // are); then `colon()` follows. False, consuming nothing, otherwise.
  [[gnu::always_inline]] bool key_is(std::string_view plain) {
    const std::size_t n = plain.size();
    if (static_cast<std::size_t>(end_ - p_) < n + 2 || p_[n + 1] != '"' || std::memcmp(p_ + 1, plain.data(), n) != 0)
      return false;
    p_ += n + 2;
    return true;
  }
  // After a key: white space, the colon, white space.
  [[gnu::always_inline]] bool colon() {
    skip_space();
    if (p_ == end_) return fail_peek(Code::EofObject);
    if (*p_ != ':') return fail_peek(Code::ExpectedColon);
    ++p_;
    skip_space();
    return true;
  }
  // After next_key: reads the key and the colon. The key stays valid until
  // the next string is read.
  bool key(std::string_view& out) {
    ++p_;
    return scan_string(out) && colon();
  }
  // next_key and key together.
  bool next_member(bool first, bool& closed, std::string_view& key_out) {
    return next_key(first, closed) && (closed || key(key_out));
  }
  // The next value when it is a string; the view stays valid until the next
  // string is read.
  bool string_value(std::string_view& out) {
    skip_space();
    if (p_ == end_ || *p_ != '"') return false;
    ++p_;
    return scan_string(out);
  }
  // The same, copied into `out`.
  bool string_value(std::string& out) {
    std::string_view text;
    if (!string_value(text)) return false;
    out.assign(text);
    return true;
  }
  // Checks the next value as strictly as `value` and drops it.
  bool skip_value();

 private:
  enum class Code : std::uint8_t {
    EofList,
    EofObject,
    EofString,
    EofValue,
    ExpectedColon,
    ExpectedListCommaOrEnd,
    ExpectedObjectCommaOrEnd,
    ExpectedIdent,
    ExpectedValue,
    InvalidEscape,
    InvalidNumber,
    NumberOutOfRange,
    InvalidUnicodeCodePoint,
    ControlCharacter,
    KeyMustBeAString,
    LoneLeadingSurrogate,
    TrailingComma,
    TrailingCharacters,
    UnexpectedEndOfHexEscape,
    RecursionLimitExceeded,
  };
  static const char* message_of(Code code);

  [[gnu::cold]] bool fail_at(Code code, const char* at) {
    code_ = code;
    error_at_ = at;
    return false;
  }
  // About what was consumed up to the cursor.
  bool fail(Code code) { return fail_at(code, p_); }
  // About the byte at the cursor, not yet consumed.
  bool fail_peek(Code code) { return fail_at(code, p_ < end_ ? p_ + 1 : end_); }

  void skip_space() {
    while (p_ != end_ && (*p_ == ' ' || *p_ == '\n' || *p_ == '\t' || *p_ == '\r')) ++p_;
  }

  // Returns false on an error; sets `closed` when the closing bracket was
  // consumed instead of reaching an entry.
  bool next_entry(bool first, char close, Code eof, Code comma_or_end, bool& closed) {
    skip_space();
    if (p_ == end_) return fail_peek(eof);
    closed = *p_ == close;
    if (closed) {
      ++p_;
      return true;
    }
    if (first) return true;
    if (*p_ != ',') return fail_peek(comma_or_end);
    ++p_;
    skip_space();
    if (p_ == end_) return fail_peek(Code::EofValue);
    if (*p_ == close) return fail_peek(Code::TrailingComma);
    return true;
  }

  bool ident(const char* rest);
  bool array(Value& out);
  bool object(Value& out);
  bool opens_container() const { return *p_ == '[' || *p_ == '{'; }
  std::vector<Member> take_members(std::size_t mark);
  // Skips printable ASCII other than a quote or a backslash.
  static const char* plain_run(const char* p, const char* end) {
    // Ends a plain run: a quote, a backslash, a control character or a
    // non-ASCII byte.
    p = skip_words(p, end, [](std::uint64_t w) { return special_bytes(w) | (w & kHighBits); });
    if (end - p >= 8) return p;  // on the first byte that ends the run
    while (p != end && static_cast<unsigned char>(*p) >= 0x20 && *p != '"' && *p != '\\' &&
           static_cast<unsigned char>(*p) < 0x80)
      ++p;
    return p;
  }

  // The cursor stands after the opening quote. A string without escapes is
  // viewed in the text; one with escapes is built in a scratch buffer that
  // keeps its capacity, and the caller copies it once at its final size.
  bool scan_string(std::string_view& out) {
    const char* const run = p_;
    // Most strings are plain ASCII: one scan to the closing quote.
    const char* p = plain_run(p_, end_);
    if (p != end_ && *p == '"') [[likely]] {
      out = std::string_view(run, static_cast<std::size_t>(p - run));
      p_ = p + 1;
      return true;
    }
    p_ = p;
    return scan_string_rest(run, out);
  }
  // The rest of a string that holds an escape, a non-ASCII byte, a control
  // character or no closing quote; `run` is where its text began.
  bool scan_string_rest(const char* run, std::string_view& out);
  bool escape(std::string& out);
  bool hex4(std::uint32_t& out);
  bool unicode_escape(std::string& out);
  bool number(Value& out, bool negative);
  bool float_number(Value& out, const char* start);
  [[gnu::cold]] bool overflows(const char* start) const;

  const char* begin_;
  const char* p_;
  const char* end_;
  int depth_ = 0;
  std::vector<Value> elements_;
  std::vector<Member> members_;
  std::string scratch_;
  Code code_ = Code::EofValue;
  const char* error_at_ = nullptr;
};

}  // namespace revizer::json
