#include "model/json/writer.h"

#include <array>
#include <charconv>
#include <cstring>
#include <string_view>
#include <vector>

#include "model/json/byte_scan.h"
#include "model/json/float_text.h"

namespace revizer::json {
namespace {

// For each byte: 0 when written as is, else the letter after the backslash
// ('u' for the \u00xx form).
constexpr std::array<char, 256> kEscapes = [] {
  std::array<char, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[c] = 'u';
  t['"'] = '"';
  t['\\'] = '\\';
  t['\b'] = 'b';
  t['\t'] = 't';
  t['\n'] = 'n';
  t['\f'] = 'f';
  t['\r'] = 'r';
  return t;
}();


void write_string(std::string_view s, std::string& out) {
  out.push_back('"');
  const char* p = s.data();
  const char* end = p + s.size();
  const char* run = p;
  for (;;) {
    p = skip_words(p, end, special_bytes);
    while (p != end && kEscapes[static_cast<unsigned char>(*p)] == 0) ++p;
    if (p == end) break;
    out.append(run, p);
    const auto c = static_cast<unsigned char>(*p);
    const char e = kEscapes[c];
    if (e == 'u') {
      static constexpr char kHex[] = "0123456789abcdef";
      const char seq[6] = {'\\', 'u', '0', '0', kHex[c >> 4], kHex[c & 0xF]};
      out.append(seq, 6);
    } else {
      const char seq[2] = {'\\', e};
      out.append(seq, 2);
    }
    run = ++p;
  }
  out.append(run, end);
  out.push_back('"');
}

template <class N>
void write_integer(N n, std::string& out) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, n);
  out.append(buf, res.ptr);
}

void write_scalar(const Value& v, std::string& out) {
  switch (v.kind()) {
    case Kind::Null: out.append("null", 4); break;
    case Kind::Bool: v.as_bool() ? out.append("true", 4) : out.append("false", 5); break;
    case Kind::U64: write_integer(v.as_u64(), out); break;
    case Kind::I64: write_integer(v.as_i64(), out); break;
    case Kind::F64: {
      char buf[kFloatTextMax];
      out.append(buf, format_float(v.as_f64(), buf));
      break;
    }
    case Kind::String: write_string(v.as_string(), out); break;
    case Kind::Array:
    case Kind::Object: break;  // containers are handled by write_to
  }
}

struct Frame {
  const Value* container;
  std::size_t next;
};

}  // namespace

void write_to(const Value& root, std::string& out) {
  std::vector<Frame> open;  // containers being written, innermost last
  const Value* v = &root;
  for (;;) {
    if (v->is_array()) {
      out.push_back('[');
      open.push_back({v, 0});
    } else if (v->is_object()) {
      out.push_back('{');
      open.push_back({v, 0});
    } else {
      write_scalar(*v, out);
    }
    // Find the next value to write, closing finished containers.
    v = nullptr;
    while (!open.empty()) {
      Frame& top = open.back();
      const std::size_t i = top.next++;
      if (top.container->is_array()) {
        const Array& a = top.container->as_array();
        if (i < a.size()) {
          if (i > 0) out.push_back(',');
          v = &a[i];
          break;
        }
        out.push_back(']');
      } else {
        const Object& o = top.container->as_object();
        if (i < o.size()) {
          if (i > 0) out.push_back(',');
          const Member& m = o.members()[i];
          write_string(m.key, out);
          out.push_back(':');
          v = &m.value;
          break;
        }
        out.push_back('}');
      }
      open.pop_back();
    }
    if (v == nullptr) return;
  }
}

void write_string_to(std::string_view text, std::string& out) { write_string(text, out); }

std::string write(const Value& value) {
  std::string out;
  write_to(value, out);
  return out;
}

}  // namespace revizer::json
