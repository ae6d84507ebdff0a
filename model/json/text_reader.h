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
#include <string>
#include <string_view>
#include <vector>

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
  bool peek(char& c) {
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
  bool open(char bracket) {
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
  // Steps to the next entry of an open object and reads its key up to the
  // colon, or sets `closed` when the object ended. The key stays valid until
  // the next string is read.
  bool next_member(bool first, bool& closed, std::string_view& key) {
    if (!next_entry(first, '}', Code::EofObject, Code::ExpectedObjectCommaOrEnd, closed)) return false;
    if (closed) return true;
    if (*p_ != '"') return fail_peek(Code::KeyMustBeAString);
    ++p_;
    return scan_string(key) && colon();
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

  // After a key: white space, the colon, white space.
  bool colon() {
    skip_space();
    if (p_ == end_) return fail_peek(Code::EofObject);
    if (*p_ != ':') return fail_peek(Code::ExpectedColon);
    ++p_;
    skip_space();
    return true;
  }

  bool ident(const char* rest);
  bool array(Value& out);
  bool object(Value& out);
  bool opens_container() const { return *p_ == '[' || *p_ == '{'; }
  std::vector<Member> take_members(std::size_t mark);
  bool scan_string(std::string_view& out);
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
