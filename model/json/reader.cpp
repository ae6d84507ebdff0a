#include "model/json/reader.h"

#include "model/json/byte_scan.h"
#include "model/json/text_reader.h"
#include "text/code_points.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

namespace revizer::json {
namespace {

// Objects with this many keys leave the scanned stack for an indexed Object.
constexpr std::size_t kLargeObject = 32;
// Entries a shared stack makes room for when first used.
constexpr std::size_t kFirstStack = 32;

inline bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Length of the valid UTF-8 sequence at `p` (lead byte >= 0x80), 0 if invalid.
inline int utf8_sequence(const unsigned char* p, const unsigned char* end) {
  const unsigned c = p[0];
  const auto cont = [&](int i) { return (p[i] & 0xC0) == 0x80; };
  if (c < 0xC2) return 0;
  if (c < 0xE0) return end - p >= 2 && cont(1) ? 2 : 0;
  if (c < 0xF0) {
    if (end - p < 3 || !cont(1) || !cont(2)) return 0;
    if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0)) return 0;
    return 3;
  }
  if (c < 0xF5) {
    if (end - p < 4 || !cont(1) || !cont(2) || !cont(3)) return 0;
    if ((c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] >= 0x90)) return 0;
    return 4;
  }
  return 0;
}

inline int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A bit chosen by a key's length and its first and last bytes.
std::uint64_t key_bit(const std::string& key) {
  const std::size_t n = key.size();
  const unsigned mix = n == 0 ? 0u
                              : static_cast<unsigned>(n) * 0x9Eu ^ static_cast<unsigned char>(key[0]) * 0x3Du ^
                                    static_cast<unsigned char>(key[n - 1]);
  return std::uint64_t{1} << (mix & 63);
}

}  // namespace

const char* TextReader::message_of(Code code) {
  switch (code) {
    case Code::EofList: return "EOF while parsing a list";
    case Code::EofObject: return "EOF while parsing an object";
    case Code::EofString: return "EOF while parsing a string";
    case Code::EofValue: return "EOF while parsing a value";
    case Code::ExpectedColon: return "expected `:`";
    case Code::ExpectedListCommaOrEnd: return "expected `,` or `]`";
    case Code::ExpectedObjectCommaOrEnd: return "expected `,` or `}`";
    case Code::ExpectedIdent: return "expected ident";
    case Code::ExpectedValue: return "expected value";
    case Code::InvalidEscape: return "invalid escape";
    case Code::InvalidNumber: return "invalid number";
    case Code::NumberOutOfRange: return "number out of range";
    case Code::InvalidUnicodeCodePoint: return "invalid unicode code point";
    case Code::ControlCharacter: return "control character (\\u0000-\\u001F) found while parsing a string";
    case Code::KeyMustBeAString: return "key must be a string";
    case Code::LoneLeadingSurrogate: return "lone leading surrogate in hex escape";
    case Code::TrailingComma: return "trailing comma";
    case Code::TrailingCharacters: return "trailing characters";
    case Code::UnexpectedEndOfHexEscape: return "unexpected end of hex escape";
    case Code::RecursionLimitExceeded: return "recursion limit exceeded";
  }
  return "";
}

bool TextReader::document(Value& out) {
  if (!value(out)) return false;
  skip_space();
  if (p_ != end_) return fail_peek(Code::TrailingCharacters);
  return true;
}

[[gnu::cold]] CodecError TextReader::error() const {
  const char* at = error_at_;
  std::uint64_t line = 1;
  const char* line_start = begin_;
  for (const char* q = begin_; q < at; ++q) {
    if (*q == '\n') {
      ++line;
      line_start = q + 1;
    }
  }
  return CodecError{message_of(code_), line, static_cast<std::uint64_t>(at - line_start)};
}

bool TextReader::value(Value& out) {
  skip_space();
  if (p_ == end_) return fail_peek(Code::EofValue);
  switch (*p_) {
    case 'n':
      ++p_;
      if (!ident("ull")) return false;
      out = Value();
      return true;
    case 't':
      ++p_;
      if (!ident("rue")) return false;
      out = Value(true);
      return true;
    case 'f':
      ++p_;
      if (!ident("alse")) return false;
      out = Value(false);
      return true;
    case '-':
      ++p_;
      return number(out, true);
    case '0': case '1': case '2': case '3': case '4':
    case '5': case '6': case '7': case '8': case '9':
      return number(out, false);
    case '"': {
      ++p_;
      std::string_view text;
      if (!scan_string(text)) return false;
      out.become_string().assign(text);
      return true;
    }
    case '[': {
      if (depth_ == kMaxDepth) return fail_peek(Code::RecursionLimitExceeded);
      ++p_;
      ++depth_;
      const bool ok = array(out);
      --depth_;
      return ok;
    }
    case '{': {
      if (depth_ == kMaxDepth) return fail_peek(Code::RecursionLimitExceeded);
      ++p_;
      ++depth_;
      const bool ok = object(out);
      --depth_;
      return ok;
    }
    default:
      return fail_peek(Code::ExpectedValue);
  }
}

bool TextReader::ident(const char* rest) {
  for (; *rest != '\0'; ++rest) {
    if (p_ == end_) return fail(Code::EofValue);
    if (*p_++ != *rest) return fail(Code::ExpectedIdent);
  }
  return true;
}


// Elements and entries of open containers gather on shared stacks and move
// into an exactly sized vector when the container closes. Scalars and keys
// are read straight into their stack slot; a nested container is read
// aside first, since it grows the stack under it.
bool TextReader::array(Value& out) {
  // The shared stacks start at a size that holds most documents' nesting
  // without growing step by step.
  if (elements_.capacity() == 0) elements_.reserve(kFirstStack);
  const std::size_t mark = elements_.size();
  for (bool first = true, closed = false;; first = false) {
    if (!next_entry(first, ']', Code::EofList, Code::ExpectedListCommaOrEnd, closed)) return false;
    if (closed) break;
    if (opens_container()) {
      Value v;
      if (!value(v)) return false;
      elements_.push_back(std::move(v));
    } else if (!value(elements_.emplace_back())) {
      return false;
    }
  }
  Array& a = out.become_array();
  a.reserve(elements_.size() - mark);
  for (std::size_t i = mark; i < elements_.size(); ++i) a.push_back(std::move(elements_[i]));
  elements_.resize(mark);
  return true;
}

bool TextReader::object(Value& out) {
  if (members_.capacity() == 0) members_.reserve(kFirstStack);
  const std::size_t mark = members_.size();
  Object large;  // takes over from the stack once the object grows large
  bool is_large = false;
  // One bit per key shape seen (see key_bit): a key whose bit is clear
  // cannot repeat one before it, so most keys skip the duplicate scan.
  std::uint64_t seen = 0;
  for (bool first = true, closed = false;; first = false) {
    if (!next_entry(first, '}', Code::EofObject, Code::ExpectedObjectCommaOrEnd, closed)) return false;
    if (closed) break;
    if (*p_ != '"') return fail_peek(Code::KeyMustBeAString);
    ++p_;
    const std::size_t at = members_.size();
    std::string_view key;
    if (!scan_string(key)) return false;
    members_.emplace_back().key.assign(key);
    if (!colon()) return false;
    if (p_ != end_ && opens_container()) {
      Value v;
      if (!value(v)) return false;
      members_[at].value = std::move(v);
    } else if (!value(members_[at].value)) {
      return false;
    }
    if (is_large) {
      Member& m = members_[at];
      large.insert(std::move(m.key), std::move(m.value));
      members_.pop_back();
      continue;
    }
    // A repeated key keeps its first position and takes the last value.
    const std::uint64_t bit = key_bit(members_[at].key);
    if ((seen & bit) != 0) {
      Member* same = nullptr;
      for (std::size_t i = mark; i < at && same == nullptr; ++i)
        if (members_[i].key == members_[at].key) same = &members_[i];
      if (same != nullptr) {
        same->value = std::move(members_[at].value);
        members_.pop_back();
        continue;
      }
    }
    seen |= bit;
    if (members_.size() - mark >= kLargeObject) {
      large = Object::from_unique(take_members(mark));
      is_large = true;
    }
  }
  out.become_object() = is_large ? std::move(large) : Object::from_unique(take_members(mark));
  return true;
}

std::vector<Member> TextReader::take_members(std::size_t mark) {
  std::vector<Member> taken(std::make_move_iterator(members_.begin() + static_cast<std::ptrdiff_t>(mark)),
                            std::make_move_iterator(members_.end()));
  members_.resize(mark);
  return taken;
}

// The rest of a string that holds an escape, a non-ASCII byte, a control
// character or no closing quote; `run` is where the string's text began.
bool TextReader::scan_string_rest(const char* run, std::string_view& out) {
  bool bad_utf8 = false;
  bool escaped = false;
  for (;;) {
    p_ = plain_run(p_, end_);
    if (p_ == end_) return fail(Code::EofString);
    const auto c = static_cast<unsigned char>(*p_);
    if (c == '"') {
      if (escaped) {
        scratch_.append(run, p_);
        out = scratch_;
      } else {
        out = std::string_view(run, static_cast<std::size_t>(p_ - run));
      }
      ++p_;
      if (bad_utf8) return fail(Code::InvalidUnicodeCodePoint);
      return true;
    }
    if (c == '\\') {
      if (!escaped) scratch_.clear();
      escaped = true;
      scratch_.append(run, p_);
      ++p_;
      if (!escape(scratch_)) return false;
      run = p_;
    } else if (c < 0x20) {
      ++p_;
      return fail(Code::ControlCharacter);
    } else {
      const int n = utf8_sequence(reinterpret_cast<const unsigned char*>(p_),
                                  reinterpret_cast<const unsigned char*>(end_));
      if (n == 0) {
        // Reported once the string is closed, as the text itself would be.
        bad_utf8 = true;
        ++p_;
      } else {
        p_ += n;
      }
    }
  }
}

// The cursor stands after the backslash.
bool TextReader::escape(std::string& out) {
  if (p_ == end_) return fail(Code::EofString);
  switch (*p_++) {
    case '"': out.push_back('"'); return true;
    case '\\': out.push_back('\\'); return true;
    case '/': out.push_back('/'); return true;
    case 'b': out.push_back('\b'); return true;
    case 'f': out.push_back('\f'); return true;
    case 'n': out.push_back('\n'); return true;
    case 'r': out.push_back('\r'); return true;
    case 't': out.push_back('\t'); return true;
    case 'u': return unicode_escape(out);
    default: return fail(Code::InvalidEscape);
  }
}

bool TextReader::hex4(std::uint32_t& out) {
  if (end_ - p_ < 4) {
    p_ = end_;
    return fail(Code::EofString);
  }
  std::uint32_t n = 0;
  bool ok = true;
  for (int i = 0; i < 4; ++i) {
    const int d = hex_digit(p_[i]);
    ok = ok && d >= 0;
    n = (n << 4) | static_cast<std::uint32_t>(d & 0xF);
  }
  p_ += 4;
  if (!ok) return fail(Code::InvalidEscape);
  out = n;
  return true;
}

// The cursor stands after "\u".
bool TextReader::unicode_escape(std::string& out) {
  std::uint32_t n;
  if (!hex4(n)) return false;
  if (n >= 0xDC00 && n <= 0xDFFF) return fail(Code::LoneLeadingSurrogate);
  if (n < 0xD800 || n > 0xDBFF) {
    unicode::append_utf8(out, n);
    return true;
  }
  for (const char expected : {'\\', 'u'}) {
    if (p_ == end_) return fail(Code::EofString);
    if (*p_++ != expected) return fail(Code::UnexpectedEndOfHexEscape);
  }
  std::uint32_t low;
  if (!hex4(low)) return false;
  if (low < 0xDC00 || low > 0xDFFF) return fail(Code::LoneLeadingSurrogate);
  unicode::append_utf8(out, (((n - 0xD800) << 10) | (low - 0xDC00)) + 0x10000);
  return true;
}

// The cursor stands on the first digit (after the '-' of a negative number).
bool TextReader::number(Value& out, bool negative) {
  const char* start = negative ? p_ - 1 : p_;
  if (p_ == end_) return fail(Code::EofValue);
  std::uint64_t magnitude = 0;
  bool overflow = false;
  if (*p_ == '0') {
    ++p_;
    if (p_ != end_ && is_digit(*p_)) return fail_peek(Code::InvalidNumber);
  } else if (is_digit(*p_)) {
    do {
      const auto digit = static_cast<std::uint64_t>(*p_ - '0');
      overflow = overflow || magnitude > (std::numeric_limits<std::uint64_t>::max() - digit) / 10;
      magnitude = magnitude * 10 + digit;
      ++p_;
    } while (p_ != end_ && is_digit(*p_));
  } else {
    ++p_;
    return fail(Code::InvalidNumber);
  }
  bool is_float = overflow;
  if (p_ != end_ && *p_ == '.') {
    is_float = true;
    ++p_;
    const char* digits = p_;
    while (p_ != end_ && is_digit(*p_)) ++p_;
    if (p_ == digits) return fail_peek(p_ == end_ ? Code::EofValue : Code::InvalidNumber);
  }
  if (p_ != end_ && (*p_ == 'e' || *p_ == 'E')) {
    is_float = true;
    ++p_;
    if (p_ != end_ && (*p_ == '+' || *p_ == '-')) ++p_;
    if (p_ == end_) return fail(Code::EofValue);
    if (!is_digit(*p_++)) return fail(Code::InvalidNumber);
    while (p_ != end_ && is_digit(*p_)) ++p_;
  }
  if (!is_float) {
    // Integers from 0 up are unsigned, "-0" included: only a fraction or an
    // exponent makes a float of a number in range.
    if (!negative || magnitude == 0) {
      out = Value(magnitude);
      return true;
    }
    // Negatives below the signed range become floats.
    constexpr std::uint64_t kMinMagnitude = std::uint64_t{1} << 63;
    if (magnitude <= kMinMagnitude) {
      out = Value(static_cast<std::int64_t>(0 - magnitude));
      return true;
    }
  }
  return float_number(out, start);
}

bool TextReader::float_number(Value& out, const char* start) {
  double d = 0;
  const auto res = std::from_chars(start, p_, d);
  if (res.ec == std::errc::result_out_of_range) {
    if (overflows(start)) return fail(Code::NumberOutOfRange);
    d = *start == '-' ? -0.0 : 0.0;
  }
  out = Value(d);
  return true;
}

// For a number text the float range cannot hold: too large (true) or too
// small (false), judged by the decimal exponent of its first significant digit.
[[gnu::cold]] bool TextReader::overflows(const char* start) const {
  const char* q = start;
  if (*q == '-') ++q;
  bool found = false;
  std::int64_t magnitude = 0;
  const char* int_begin = q;
  while (q != p_ && is_digit(*q)) ++q;
  for (const char* d = int_begin; d != q && !found; ++d) {
    if (*d != '0') {
      found = true;
      magnitude = (q - d) - 1;
    }
  }
  if (q != p_ && *q == '.') {
    ++q;
    for (std::int64_t i = 0; q != p_ && is_digit(*q); ++q, ++i) {
      if (!found && *q != '0') {
        found = true;
        magnitude = -(i + 1);
      }
    }
  }
  if (!found) return false;
  std::int64_t exp = 0;
  if (q != p_) {
    ++q;  // 'e' or 'E'
    const bool negative = *q == '-';
    if (*q == '+' || *q == '-') ++q;
    for (; q != p_; ++q) exp = exp < 1'000'000'000 ? exp * 10 + (*q - '0') : exp;
    if (negative) exp = -exp;
  }
  return magnitude + exp >= 0;
}

bool TextReader::skip_value() {
  Value dropped;
  return value(dropped);
}

Result<Value, CodecError> parse(std::string_view text) {
  TextReader reader(text);
  Value out;
  if (!reader.document(out)) return fail(reader.error());
  return out;
}

}  // namespace revizer::json
