#pragma once

// Codec<T>: how one field kind is written into and read from a JSON value.
//
//   static Value encode(const T&);
//   static Status<CodecError> decode(Value&& in, T& out, Mode mode);
//
// Decoders consume their input and move strings and containers out of it.
// Kinds provided here: std::string, bool, the four integer kinds, double,
// Value, std::optional<X>, std::vector<X>, maps from string (std::map for
// key order, std::unordered_map for hash order), records (any type with
// static to_json / from_json(Value, Mode), see record.h) and enumerations
// (EnumNames<E>, see enum_codec.h).

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
#include "support/result.h"

namespace revizer::json {

using Decoded = Status<CodecError>;

template <class T>
struct Codec;

// A record: `static Value to_json(const R&)` and
// `static Result<R, CodecError> from_json(Value, Mode)`.
template <class R>
concept JsonRecord = requires(const R& r, Value v, Mode m) {
  { R::to_json(r) } -> std::same_as<Value>;
  { R::from_json(std::move(v), m) } -> std::same_as<Result<R, CodecError>>;
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
template <class X>
struct Codec<std::unordered_map<std::string, X>> : MapCodec<std::unordered_map<std::string, X>> {};

template <JsonRecord R>
struct Codec<R> {
  static Value encode(const R& r) { return R::to_json(r); }
  static Decoded decode(Value&& in, R& out, Mode mode) {
    auto r = R::from_json(std::move(in), mode);
    if (!r) return fail(std::move(r).error());
    out = std::move(*r);
    return Ok{};
  }
};

}  // namespace revizer::json
