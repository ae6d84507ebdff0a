#pragma once

// One description per record drives its encoder and its decoder (object and
// array forms, direct and buffered content). A record file writes:
//
//   using namespace json::describe;
//   inline constexpr json::Record kTool{"struct Tool",
//       json::field<WhenPresent, DefaultAbsent>("id", &Tool::id),
//       json::field<Always, Required>("name", &Tool::name),
//       json::field<Always, Default>("parameters", &Tool::parameters), ...};
//   constexpr const auto& json_record(const Tool*) { return kTool; }
//
// and from then on `json::encode(tool)` and `json::decode<Tool>(value, mode)`
// (codec.h) find the description by argument-dependent lookup.
//
// Fields are listed in declaration order; the key order on write follows
// it. A default ("default empty", "default false", "default <value>") is
// the member's own initializer in the record struct. The written and read
// words are checked against the member's type, and the keys for uniqueness,
// at compile time.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "model/json/codec.h"
#include "model/json/kinds.h"

namespace revizer::json {

// When a field's key is written.
enum class Written : std::uint8_t {
  Always,        // an absent optional is written as null
  WhenPresent,   // optional fields
  WhenNonEmpty,  // strings, lists, maps
  WhenTrue,      // booleans
};

// How a field is read. Object form: only Required fails on a missing key.
// Array form: Required and Optional must have their element; the others may
// be left off the end.
enum class Read : std::uint8_t {
  Required,
  Optional,       // "optional (null reads as absent)"
  DefaultAbsent,  // "default absent"
  Default,        // "default empty", "default false", "default <value>"
};

template <Written W, Read Rd, class R, class M>
struct Field {
  using Record = R;
  using Member = M;
  static constexpr Written written = W;
  static constexpr Read read = Rd;
  static_assert(W != Written::WhenPresent || kIsOptional<M>, "`when present` needs an optional member");
  static_assert(W != Written::WhenTrue || std::is_same_v<M, bool>, "`when true` needs a bool member");
  static_assert((Rd != Read::Optional && Rd != Read::DefaultAbsent) || kIsOptional<M>,
                "reading null as absent needs an optional member");

  std::string_view key;
  M R::*member;

  static constexpr bool must_be_in_array() { return Rd == Read::Required || Rd == Read::Optional; }

  bool is_written(const R& r) const {
    const M& m = r.*member;
    if constexpr (W == Written::WhenPresent) {
      return m.has_value();
    } else if constexpr (W == Written::WhenNonEmpty) {
      return !m.empty();
    } else if constexpr (W == Written::WhenTrue) {
      return m;
    } else {
      return true;
    }
  }
};

template <Written W, Read Rd, class R, class M>
constexpr Field<W, Rd, R, M> field(std::string_view key, M R::*member) {
  return {key, member};
}

template <class R, class... Fs>
class Record {
 public:
  static constexpr std::size_t kFields = sizeof...(Fs);
  static_assert(kFields > 0 && kFields <= 64);

  // `expecting` is the record's phrase: "struct Tool" (or "struct variant U::V").
  consteval Record(std::string_view expecting, Fs... fields) : expecting_(expecting), fields_(fields...) {
    // Not a constant expression, so a repeated key fails the build here.
    if (!has_unique_keys()) throw "two fields of a record description share a JSON key";
  }

  std::string_view expecting() const { return expecting_; }
  // Field I of the description, for readers that walk the fields in order.
  template <std::size_t I>
  constexpr const auto& field() const {
    return std::get<I>(fields_);
  }

  constexpr bool has_unique_keys() const {
    return std::apply(
        [](const auto&... f) {
          const std::string_view keys[] = {f.key...};
          for (std::size_t i = 0; i < kFields; ++i)
            for (std::size_t j = i + 1; j < kFields; ++j)
              if (keys[i] == keys[j]) return false;
          return true;
        },
        fields_);
  }

  constexpr bool has_key(std::string_view key) const {
    return std::apply([&](const auto&... f) { return ((f.key == key) || ...); }, fields_);
  }

  // The written object, keys in declaration order.
  Value encode(const R& r) const {
    Object o;
    o.reserve(kFields);
    encode_into(r, o);
    return Value(std::move(o));
  }

  // Appends the written keys to `o` (internally tagged unions put their tag
  // first). The caller guarantees that none of them is in `o` yet.
  void encode_into(const R& r, Object& o) const {
    for_each_written(r, [&](auto, std::string_view key, const auto& member) {
      o.append_new(std::string(key), Codec<std::decay_t<decltype(member)>>::encode(member));
      return true;
    });
  }

  // The one walk every writer follows (this codec, and sinks that build other
  // objects from the same description): calls
  // `visit(std::integral_constant<std::size_t, I>{}, key, member)` for each
  // written field in declaration order. A visit returning false stops the
  // walk, and then the result is false.
  template <class Visit>
  bool for_each_written(const R& r, Visit&& visit) const {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return ((!std::get<I>(fields_).is_written(r) ||
               visit(std::integral_constant<std::size_t, I>{}, std::get<I>(fields_).key, r.*std::get<I>(fields_).member)) &&
              ...);
    }(std::index_sequence_for<Fs...>{});
  }

  Result<R, CodecError> decode(Value&& in, Mode mode) const {
    R out{};
    Decoded st = Ok{};
    if (in.is_object()) {
      st = decode_members(std::move(in).take_object().take_members(), out, mode);
    } else if (in.is_array()) {
      st = decode_elements(std::move(in).take_array(), out, mode);
    } else {
      return fail(errors::invalid_type(in, expecting_));
    }
    if (!st) return fail(std::move(st).error());
    return out;
  }

  // Object form from entries (internally tagged unions pass the entries
  // other than their tag).
  Decoded decode_members(std::vector<Member> members, R& out, Mode mode) const {
    std::uint64_t seen = 0;
    for (Member& m : members) {
      // Keys that are not fields are skipped without looking at their values.
      Decoded st = Ok{};
      visit_field(out, m.key, seen, [&](auto& member) {
        st = Codec<std::decay_t<decltype(member)>>::decode(std::move(m.value), member, mode);
        return true;
      });
      if (!st) return st;
    }
    return check_missing(seen, std::index_sequence_for<Fs...>{});
  }

  // The one key match every reader uses (this codec, and readers of other
  // sources): calls `visit(member)` for the field whose key is `key` and
  // marks field I as bit I of `seen`. False when no field has the key or the
  // visit returns false.
  template <class Visit>
  bool visit_field(R& r, std::string_view key, std::uint64_t& seen, Visit&& visit) const {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return ((key == std::get<I>(fields_).key ? (seen |= std::uint64_t{1} << I, visit(r.*std::get<I>(fields_).member))
                                               : false) ||
              ...);
    }(std::index_sequence_for<Fs...>{});
  }

  // The same for the field at position `index` (less than kFields), for
  // readers that matched the key some other way.
  template <class Visit>
  bool visit_field_at(R& r, std::size_t index, std::uint64_t& seen, Visit&& visit) const {
    return [&]<std::size_t... I>(std::index_sequence<I...>) {
      return ((index == I ? (seen |= std::uint64_t{1} << I, visit(r.*std::get<I>(fields_).member)) : false) || ...);
    }(std::index_sequence_for<Fs...>{});
  }

  // The key of the field at position I.
  template <std::size_t I>
  constexpr std::string_view key_at() const {
    return std::get<I>(fields_).key;
  }

  // Whether every required field is marked in `seen` (see visit_field).
  constexpr bool has_required(std::uint64_t seen) const {
    const std::uint64_t required = [&]<std::size_t... I>(std::index_sequence<I...>) {
      return ((std::get<I>(fields_).read == Read::Required ? std::uint64_t{1} << I : 0) | ...);
    }(std::index_sequence_for<Fs...>{});
    return (required & ~seen) == 0;
  }

  // Array form from elements in declaration order.
  Decoded decode_elements(Array elements, R& out, Mode mode) const {
    Decoded st = Ok{};
    decode_element_list(elements, out, mode, st, std::index_sequence_for<Fs...>{});
    if (!st) return st;
    if (elements.size() > kFields) return fail(errors::surplus_elements(elements.size(), kFields, mode));
    return Ok{};
  }

 private:
  template <std::size_t I>
  Decoded decode_field(Value&& v, R& out, Mode mode) const {
    const auto& f = std::get<I>(fields_);
    using M = typename std::decay_t<decltype(f)>::Member;
    return Codec<M>::decode(std::move(v), out.*f.member, mode);
  }

  // The first required field in declaration order that was not met.
  template <std::size_t... I>
  Decoded check_missing(std::uint64_t seen, std::index_sequence<I...>) const {
    const std::string_view* missing = nullptr;
    (void)(((std::get<I>(fields_).read == Read::Required && ((seen >> I) & 1) == 0)
                ? (missing = &std::get<I>(fields_).key, true)
                : false) ||
           ...);
    if (missing != nullptr) return fail(errors::missing_field(*missing));
    return Ok{};
  }

  template <std::size_t... I>
  void decode_element_list(Array& elements, R& out, Mode mode, Decoded& st, std::index_sequence<I...>) const {
    // Fields in order; stop at the first failure or the first element that
    // must be there but is not.
    (void)((decode_element<I>(elements, out, mode, st)) && ...);
  }

  template <std::size_t I>
  bool decode_element(Array& elements, R& out, Mode mode, Decoded& st) const {
    using F = std::tuple_element_t<I, std::tuple<Fs...>>;
    if (I < elements.size()) {
      st = decode_field<I>(std::move(elements[I]), out, mode);
      return static_cast<bool>(st);
    }
    if constexpr (F::must_be_in_array()) {
      st = fail(errors::missing_element(I, expecting_, kFields));
      return false;
    }
    return true;  // left off: keeps the member's default
  }

  std::string_view expecting_;
  std::tuple<Fs...> fields_;
};

template <class F, class... Fs>
Record(std::string_view, F, Fs...) -> Record<typename F::Record, F, Fs...>;

// The words a record description file writes its table with.
namespace describe {
using enum Written;
using enum Read;
using json::field;
}  // namespace describe

template <class D>
inline constexpr bool kIsRecordDescription = false;
template <class R, class... Fs>
inline constexpr bool kIsRecordDescription<Record<R, Fs...>> = true;

// A record whose field table is visible to other writers and readers (the
// Python layer's direct paths): `json_record(const R*)` returns its Record.
template <class R>
concept DescribedRecord =
    Described<R> && kIsRecordDescription<std::remove_cvref_t<decltype(json_record(static_cast<const R*>(nullptr)))>>;

}  // namespace revizer::json
