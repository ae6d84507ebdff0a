#include "model/json/writer.h"

#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

#include "model/json/byte_scan.h"
#include "model/json/float_text.h"
#include "support/inline_stack.h"

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

// Room is asked for once for the text as it is; each escape asks again for
// its own bytes and the rest of the text.
void write_string(std::string_view s, TextSink& out) {
  const char* p = s.data();
  const char* const end = p + s.size();
  const char* run = p;
  char* o = out.room(s.size() + 2);
  *o++ = '"';
  for (;;) {
    p = find_marked(p, end, special_bytes);  // exactly the bytes kEscapes names
    if (p == end) break;
    copy_bytes(o, run, static_cast<std::size_t>(p - run));
    out.commit(o + (p - run));
    o = out.room(static_cast<std::size_t>(end - p) + 7);
    const auto c = static_cast<unsigned char>(*p);
    const char e = kEscapes[c];
    *o++ = '\\';
    *o++ = e;
    if (e == 'u') {
      static constexpr char kHex[] = "0123456789abcdef";
      *o++ = '0';
      *o++ = '0';
      *o++ = kHex[c >> 4];
      *o++ = kHex[c & 0xF];
    }
    run = ++p;
  }
  copy_bytes(o, run, static_cast<std::size_t>(end - run));
  o += end - run;
  *o++ = '"';
  out.commit(o);
}

template <class N>
void write_integer(N n, TextSink& out) {
  constexpr std::size_t kMax = 24;
  char* o = out.room(kMax);
  out.commit(std::to_chars(o, o + kMax, n).ptr);
}

void write_scalar(const Value& v, TextSink& out) {
  switch (v.kind()) {
    case Kind::Null: out.append("null", 4); break;
    case Kind::Bool: v.as_bool() ? out.append("true", 4) : out.append("false", 5); break;
    case Kind::U64: write_integer(v.as_u64(), out); break;
    case Kind::I64: write_integer(v.as_i64(), out); break;
    case Kind::F64: write_number_to(v.as_f64(), out); break;
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

void write_to(const Value& root, TextSink& out) {
  InlineStack<Frame, 16> open;  // containers being written, innermost last
  const Value* v = &root;
  for (;;) {
    if (v->is_array()) {
      out.put('[');
      open.push_back({v, 0});
    } else if (v->is_object()) {
      out.put('{');
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
          if (i > 0) out.put(',');
          v = &a[i];
          break;
        }
        out.put(']');
      } else {
        const Object& o = top.container->as_object();
        if (i < o.size()) {
          if (i > 0) out.put(',');
          const Member& m = o.members()[i];
          write_string(m.key, out);
          out.put(':');
          v = &m.value;
          break;
        }
        out.put('}');
      }
      open.pop_back();
    }
    if (v == nullptr) return;
  }
}

void write_to(const Value& value, std::string& out) {
  TextSink sink;
  write_to(value, sink);
  out.append(sink.view());
}

void write_string_to(std::string_view text, TextSink& out) { write_string(text, out); }

void write_number_to(std::uint64_t n, TextSink& out) { write_integer(n, out); }
void write_number_to(std::int64_t n, TextSink& out) { write_integer(n, out); }
void write_number_to(double x, TextSink& out) {
  char* o = out.room(kFloatTextMax);
  out.commit(o + format_float(x, o));
}

std::string write(const Value& value) {
  TextSink sink;
  write_to(value, sink);
  return std::string(sink.view());
}

}  // namespace revizer::json
