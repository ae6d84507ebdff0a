#pragma once

// The ordered JSON value that every record encoder produces and every decoder
// consumes.
//
//   Value v;                      // null
//   Value(true), Value(7u), Value(-3), Value(1.5), Value("text")
//   Value(Array{...}), Value(Object{})
//   v.kind() / v.is_string() ...   kind queries
//   v.as_u64(), v.as_string() ...  accessors (precondition: the kind matches)
//   std::move(v).take_string()     move a string / array / object out
//   obj.insert(key, value)         duplicate key: first position, last value
//   obj.find(key)                  lookup, nullptr when absent
//   for (const Member& m : obj)    iteration in insertion order
//   std::move(obj).take_members()  move all entries out (keys included)
//   obj.swap_remove(key)           take one entry out, the last fills its place
//   v.become_string() ...          turn v into an empty string/array/object
//                                  and fill it in place
//   a == b                         JSON equality: same kind, numbers of the
//                                  same number kind, objects in any key order
//
// Number kinds: every integer from 0 up is U64, only negative integers are
// I64, and F64 holds finite floats only (2.0 stays a float). A non-finite
// double becomes null on construction, which is how encoders write it.
//
// Copying and comparing work iteratively, and destroying recurses only a
// few levels before it does too, so values nested far deeper than the text
// reader allows (they can come from Python or the wire) never overflow the
// stack.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/json/object_index.h"

namespace revizer::json {

enum class Kind : std::uint8_t { Null, Bool, U64, I64, F64, String, Array, Object };

class Value;
struct Member;

using Array = std::vector<Value>;

// Object entries in insertion order, each key at most once. Objects that grow
// past a few entries keep a hash index of their keys so that insertion and
// lookup stay O(1); small ones are scanned.
class Object {
 public:
  Object() noexcept;
  Object(Object&&) noexcept;
  Object& operator=(Object&&) noexcept;
  Object(const Object&);
  Object& operator=(const Object&);
  ~Object();

  std::size_t size() const noexcept;
  bool empty() const noexcept;
  void reserve(std::size_t n);

  // Adds the entry; a key already present keeps its position and takes the
  // new value. Returns the stored value.
  Value& insert(std::string key, Value value);
  // Appends a key the caller knows is absent (record tables, Python dicts).
  Value& append_new(std::string key, Value value);
  // An object of entries whose keys the caller knows to be distinct.
  static Object from_unique(std::vector<Member> members);

  const Value* find(std::string_view key) const noexcept;
  Value* find(std::string_view key) noexcept;

  std::span<const Member> members() const noexcept;
  const Member* begin() const noexcept;
  const Member* end() const noexcept;
  // Mutable access to the value at a position (keys stay fixed).
  Value& value_at(std::size_t i) noexcept;

  // Moves every entry out, leaving the object empty.
  std::vector<Member> take_members() && noexcept;

  // Takes the entry under `key` out and moves the last entry into its
  // place; the others keep their order. Empty when the key is absent.
  // Linear in the size of an indexed object (the index is rebuilt).
  std::optional<Value> swap_remove(std::string_view key);

 private:
  friend class Value;
  friend void detach_nested(Value& v, std::vector<Value>& out);
  std::ptrdiff_t position_of(std::string_view key) const noexcept;
  void index_last();

  std::vector<Member> members_;
  std::unique_ptr<ObjectIndex> index_;
};

class Value {
 public:
  Value() noexcept : kind_(Kind::Null) {}
  Value(std::nullptr_t) noexcept : kind_(Kind::Null) {}
  Value(bool b) noexcept : kind_(Kind::Bool) { u_.b = b; }
  template <std::integral I>
    requires(!std::same_as<I, bool>)
  Value(I n) noexcept {
    if constexpr (std::is_signed_v<I>) {
      if (n < 0) {
        kind_ = Kind::I64;
        u_.i = static_cast<std::int64_t>(n);
        return;
      }
    }
    kind_ = Kind::U64;
    u_.u = static_cast<std::uint64_t>(n);
  }
  Value(double d) noexcept;
  Value(std::string s) noexcept : kind_(Kind::String) { new (&u_.s) std::string(std::move(s)); }
  Value(std::string_view s) : Value(std::string(s)) {}
  Value(const char* s) : Value(std::string(s)) {}
  Value(Array a) noexcept : kind_(Kind::Array) { new (&u_.a) Array(std::move(a)); }
  Value(Object o) noexcept : kind_(Kind::Object) { new (&u_.o) Object(std::move(o)); }

  Value(const Value& other);
  Value& operator=(const Value& other);
  Value(Value&& other) noexcept { move_from(other); }
  Value& operator=(Value&& other) noexcept;
  ~Value() {
    if (kind_ == Kind::String) {
      u_.s.~basic_string();
    } else if (kind_ > Kind::String) {
      destroy();
    }
  }

  Kind kind() const noexcept { return kind_; }
  bool is_null() const noexcept { return kind_ == Kind::Null; }
  bool is_bool() const noexcept { return kind_ == Kind::Bool; }
  bool is_u64() const noexcept { return kind_ == Kind::U64; }
  bool is_i64() const noexcept { return kind_ == Kind::I64; }
  bool is_f64() const noexcept { return kind_ == Kind::F64; }
  bool is_integer() const noexcept { return kind_ == Kind::U64 || kind_ == Kind::I64; }
  bool is_number() const noexcept { return is_integer() || kind_ == Kind::F64; }
  bool is_string() const noexcept { return kind_ == Kind::String; }
  bool is_array() const noexcept { return kind_ == Kind::Array; }
  bool is_object() const noexcept { return kind_ == Kind::Object; }

  bool as_bool() const noexcept { return u_.b; }
  std::uint64_t as_u64() const noexcept { return u_.u; }
  std::int64_t as_i64() const noexcept { return u_.i; }
  double as_f64() const noexcept { return u_.d; }
  // Any number as a float (integers to the nearest float).
  double to_f64() const noexcept;
  const std::string& as_string() const noexcept { return u_.s; }
  std::string& as_string() noexcept { return u_.s; }
  const Array& as_array() const noexcept { return u_.a; }
  Array& as_array() noexcept { return u_.a; }
  const Object& as_object() const noexcept { return u_.o; }
  Object& as_object() noexcept { return u_.o; }

  // Replace the content with an empty string / array / object and return it
  // for filling in place.
  std::string& become_string();
  Array& become_array();
  Object& become_object();

  std::string take_string() && noexcept { return std::move(u_.s); }
  Array take_array() && noexcept { return std::move(u_.a); }
  Object take_object() && noexcept { return std::move(u_.o); }

  // Object lookup; nullptr when this is not an object or lacks the key.
  const Value* find(std::string_view key) const noexcept;

  friend bool operator==(const Value& a, const Value& b) noexcept;

 private:
  void move_from(Value& other) noexcept {
    kind_ = other.kind_;
    switch (kind_) {
      case Kind::String:
        new (&u_.s) std::string(std::move(other.u_.s));
        other.u_.s.~basic_string();
        break;
      case Kind::Array:
        new (&u_.a) Array(std::move(other.u_.a));
        other.u_.a.~Array();
        break;
      case Kind::Object:
        new (&u_.o) Object(std::move(other.u_.o));
        other.u_.o.~Object();
        break;
      default:
        u_.u = other.u_.u;
        return;
    }
    other.kind_ = Kind::Null;
  }
  void destroy() noexcept;
  // Releases the children of a container, at most `depth` levels down by
  // recursion, then the container.
  void release(int depth) noexcept;
  void destroy_shallow() noexcept;
  friend void detach_nested(Value& v, std::vector<Value>& out);

  union Payload {
    Payload() noexcept : u(0) {}
    ~Payload() {}
    bool b;
    std::uint64_t u;
    std::int64_t i;
    double d;
    std::string s;
    Array a;
    Object o;
  } u_;
  Kind kind_;
};

struct Member {
  // A constructor (not only aggregate initialisation) so that containers can
  // build entries in place with every compiler.
  Member() = default;
  Member(std::string k, Value v) noexcept : key(std::move(k)), value(std::move(v)) {}

  std::string key;
  Value value;
};

// Defined here, where Member is complete.
inline Object::Object(Object&&) noexcept = default;
inline Object::~Object() = default;
inline std::size_t Object::size() const noexcept { return members_.size(); }
inline bool Object::empty() const noexcept { return members_.empty(); }
inline void Object::reserve(std::size_t n) { members_.reserve(n); }
inline std::span<const Member> Object::members() const noexcept { return members_; }
inline const Member* Object::begin() const noexcept { return members_.data(); }
inline const Member* Object::end() const noexcept { return members_.data() + members_.size(); }
inline Value& Object::value_at(std::size_t i) noexcept { return members_[i].value; }

}  // namespace revizer::json
