#pragma once

// Codec<T>: how one field kind is written into and read from a JSON value.
//
//   static Value encode(const T&);
//   static Status<CodecError> decode(Value&& in, T& out, Mode mode);
//
// Decoders consume their input and move strings and containers out of it.
// Kinds provided here: std::string, bool, the four integer kinds, double,
// Value, std::optional<X>, Box<X> (as X), std::vector<X>, maps from string
// (std::map for key order, std::unordered_map such as json::HashMap for hash
// order), described types (records and unions whose description
// `json_record(const T*)` is found by argument-dependent lookup, see
// record.h) and enumerations (EnumTable<E>, see enum_codec.h). A type with a
// hand-written form specialises Codec.
//
// Callers use the free functions:
//   json::Value v = json::encode(tool);
//   Result<Tool, CodecError> t = json::decode<Tool>(std::move(v), Mode::Direct);

#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "model/json/codec_error.h"
#include "model/json/codec_errors.h"
#include "model/json/value.h"
#include "support/box.h"
#include "support/result.h"

namespace revizer::json {

using Decoded = Status<CodecError>;

template <class T>
struct Codec;

// A type whose JSON form comes from its description: `json_record(const T*)`
// returns an object with `Value encode(const T&)` and
// `Result<T, CodecError> decode(Value&&, Mode)` (a json::Record, or one of
// the union descriptions).
template <class T>
concept Described = requires(const T* p, const T& t, Value v, Mode m) {
  { json_record(p).encode(t) } -> std::same_as<Value>;
  { json_record(p).decode(std::move(v), m) } -> std::same_as<Result<T, CodecError>>;
};

template <>
struct Codec<std::string> {
  static Value encode(const std::string& s) { return Value(s); }
  static Decoded decode(Value&& in, std::string& out, Mode) {
    if (!in.is_string()) return fail(errors::invalid_type(in, "a string"));
    out = std::move(in).take_string();
    return Ok{};
  }
};

template <>
struct Codec<bool> {
  static Value encode(bool b) { return Value(b); }
  static Decoded decode(Value&& in, bool& out, Mode) {
    if (!in.is_bool()) return fail(errors::invalid_type(in, "a boolean"));
    out = in.as_bool();
    return Ok{};
  }
};

// Integer kinds: only integers are accepted (a whole float is refused);
// integers out of the kind's range are an invalid value.
template <class I, const char* kExpecting>
struct IntegerCodec {
  static Value encode(I n) { return Value(n); }
  static Decoded decode(Value&& in, I& out, Mode) {
    constexpr auto lo = std::numeric_limits<I>::min();
    constexpr auto hi = std::numeric_limits<I>::max();
    if (in.is_u64()) {
      if (in.as_u64() <= static_cast<std::uint64_t>(hi)) {
        out = static_cast<I>(in.as_u64());
        return Ok{};
      }
    } else if (in.is_i64()) {
      if constexpr (std::is_signed_v<I>) {
        if (in.as_i64() >= static_cast<std::int64_t>(lo)) {
          out = static_cast<I>(in.as_i64());
          return Ok{};
        }
      }
    } else {
      return fail(errors::invalid_type(in, kExpecting));
    }
    return fail(errors::invalid_value(in, kExpecting));
  }
};

inline constexpr char kU32[] = "u32";
inline constexpr char kU64[] = "u64";
inline constexpr char kI32[] = "i32";
inline constexpr char kI64[] = "i64";
template <> struct Codec<std::uint32_t> : IntegerCodec<std::uint32_t, kU32> {};
template <> struct Codec<std::uint64_t> : IntegerCodec<std::uint64_t, kU64> {};
template <> struct Codec<std::int32_t> : IntegerCodec<std::int32_t, kI32> {};
template <> struct Codec<std::int64_t> : IntegerCodec<std::int64_t, kI64> {};

template <>
struct Codec<double> {
  // A non-finite float becomes null (the Value constructor's rule).
  static Value encode(double d) { return Value(d); }
  static Decoded decode(Value&& in, double& out, Mode) {
    if (!in.is_number()) return fail(errors::invalid_type(in, "f64"));
    out = in.to_f64();
    return Ok{};
  }
};

template <>
struct Codec<Value> {
  static Value encode(const Value& v) { return v; }
  static Decoded decode(Value&& in, Value& out, Mode) {
    out = std::move(in);
    return Ok{};
  }
};

// Absent is written as null; null reads as absent.
template <class X>
struct Codec<std::optional<X>> {
  static Value encode(const std::optional<X>& o) { return o ? Codec<X>::encode(*o) : Value(); }
  static Decoded decode(Value&& in, std::optional<X>& out, Mode mode) {
    if (in.is_null()) {
      out.reset();
      return Ok{};
    }
    X x{};
    if (auto st = Codec<X>::decode(std::move(in), x, mode); !st) return st;
    out = std::move(x);
    return Ok{};
  }
};

// A boxed value has the JSON form of the value it holds.
template <class X>
struct Codec<Box<X>> {
  static Value encode(const Box<X>& b) { return Codec<X>::encode(*b); }
  static Decoded decode(Value&& in, Box<X>& out, Mode mode) {
    if (!out.has_value()) out = Box<X>();
    return Codec<X>::decode(std::move(in), *out, mode);
  }
};

template <class X>
struct Codec<std::vector<X>> {
  static Value encode(const std::vector<X>& list) {
    Array a;
    a.reserve(list.size());
    for (const X& x : list) a.push_back(Codec<X>::encode(x));
    return Value(std::move(a));
  }
  static Decoded decode(Value&& in, std::vector<X>& out, Mode mode) {
    if (!in.is_array()) return fail(errors::invalid_type(in, "a sequence"));
    Array elements = std::move(in).take_array();
    out.clear();
    out.reserve(elements.size());
    for (Value& e : elements) {
      out.emplace_back();
      if (auto st = Codec<X>::decode(std::move(e), out.back(), mode); !st) return st;
    }
    return Ok{};
  }
};

// Maps from string: written in the map's own order, read in entry order.
template <class Map>
struct MapCodec {
  using X = typename Map::mapped_type;
  static Value encode(const Map& map) {
    Object o;
    o.reserve(map.size());
    for (const auto& [key, x] : map) o.append_new(key, Codec<X>::encode(x));
    return Value(std::move(o));
  }
  static Decoded decode(Value&& in, Map& out, Mode mode) {
    if (!in.is_object()) return fail(errors::invalid_type(in, "a map"));
    out.clear();
    for (Member& m : std::move(in).take_object().take_members()) {
      X x{};
      if (auto st = Codec<X>::decode(std::move(m.value), x, mode); !st) return st;
      out.insert_or_assign(std::move(m.key), std::move(x));
    }
    return Ok{};
  }
};

template <class X>
struct Codec<std::map<std::string, X>> : MapCodec<std::map<std::string, X>> {};
template <class X, class Hash, class Eq, class Alloc>
struct Codec<std::unordered_map<std::string, X, Hash, Eq, Alloc>>
    : MapCodec<std::unordered_map<std::string, X, Hash, Eq, Alloc>> {};

template <Described T>
struct Codec<T> {
  static Value encode(const T& x) { return json_record(static_cast<const T*>(nullptr)).encode(x); }
  static Decoded decode(Value&& in, T& out, Mode mode) {
    auto r = json_record(static_cast<const T*>(nullptr)).decode(std::move(in), mode);
    if (!r) return fail(std::move(r).error());
    out = std::move(*r);
    return Ok{};
  }
};

// The JSON form of any value the codec knows.
template <class T>
Value encode(const T& x) {
  return Codec<T>::encode(x);
}

// Reads a T from its JSON form, consuming `in`.
template <class T>
Result<T, CodecError> decode(Value in, Mode mode = Mode::Direct) {
  if constexpr (Described<T>) {
    return json_record(static_cast<const T*>(nullptr)).decode(std::move(in), mode);
  } else {
    T out{};
    if (auto st = Codec<T>::decode(std::move(in), out, mode); !st) return fail(std::move(st).error());
    return out;
  }
}

}  // namespace revizer::json
