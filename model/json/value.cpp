#include "model/json/value.h"

#include "model/json/keyed_hash.h"

#include <sodium.h>

#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <chrono>
#include <utility>

#include "platform/entropy.h"

namespace revizer::json {

ObjectIndex::ObjectIndex(const std::vector<Member>& members) { rebuild(members); }

std::ptrdiff_t ObjectIndex::find(const std::vector<Member>& members, std::string_view key) const noexcept {
  for (std::size_t slot = hash(key) & mask_;; slot = (slot + 1) & mask_) {
    const std::uint32_t entry = slots_[slot];
    if (entry == 0) return -1;
    if (members[entry - 1].key == key) return static_cast<std::ptrdiff_t>(entry - 1);
  }
}

void ObjectIndex::add_last(const std::vector<Member>& members) {
  if ((members.size() * 2) > slots_.size()) {
    rebuild(members);
    return;
  }
  place(members.back().key, static_cast<std::uint32_t>(members.size()));
}

namespace {

// Keys come from whoever wrote the JSON text or the dict, so the index (and
// every hash-order map) hashes them with a keyed hash (SipHash, from
// libsodium) under a key drawn once per process: nobody can prepare keys that
// all land in one probe chain and turn reading a large object quadratic.
struct IndexHashKey {
  unsigned char bytes[crypto_shorthash_KEYBYTES];
  IndexHashKey() {
    if (platform::fill_random(bytes, sizeof bytes) == 0) return;
    // Without an entropy source any key still hashes correctly, just less
    // secretly.
    std::memset(bytes, 0, sizeof bytes);
    const auto seed = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(this));
    std::memcpy(bytes, &seed, sizeof seed);
  }
};

const IndexHashKey& index_hash_key() {
  static const IndexHashKey key;
  return key;
}

}  // namespace

std::size_t ObjectIndex::hash(std::string_view key) noexcept { return keyed_hash(key); }

std::size_t keyed_hash(std::string_view key) noexcept {
  unsigned char digest[crypto_shorthash_BYTES];
  crypto_shorthash(digest, reinterpret_cast<const unsigned char*>(key.data()), key.size(), index_hash_key().bytes);
  std::uint64_t h = 0;
  std::memcpy(&h, digest, sizeof h);
  return static_cast<std::size_t>(h);
}

void ObjectIndex::rebuild(const std::vector<Member>& members) {
  std::size_t capacity = 16;
  while (capacity < members.size() * 4) capacity *= 2;
  slots_.assign(capacity, 0);
  mask_ = capacity - 1;
  for (std::size_t i = 0; i < members.size(); ++i) place(members[i].key, static_cast<std::uint32_t>(i + 1));
}

void ObjectIndex::place(std::string_view key, std::uint32_t entry) noexcept {
  std::size_t slot = hash(key) & mask_;
  while (slots_[slot] != 0) slot = (slot + 1) & mask_;
  slots_[slot] = entry;
}

namespace {

// Below this many entries a linear scan beats hashing.
constexpr std::size_t kIndexThreshold = 12;

bool is_nonempty_container(const Value& v) noexcept {
  if (v.is_array()) return !v.as_array().empty();
  if (v.is_object()) return !v.as_object().empty();
  return false;
}

// A copy of `v` without its children: containers come out empty.
Value shallow_copy(const Value& v) {
  switch (v.kind()) {
    case Kind::String:
      return Value(v.as_string());
    case Kind::Array: {
      Array a;
      a.reserve(v.as_array().size());
      return Value(std::move(a));
    }
    case Kind::Object: {
      Object o;
      o.reserve(v.as_object().size());
      return Value(std::move(o));
    }
    case Kind::Bool: return Value(v.as_bool());
    case Kind::U64: return Value(v.as_u64());
    case Kind::I64: return Value(v.as_i64());
    case Kind::F64: return Value(v.as_f64());
    case Kind::Null: break;
  }
  return Value();
}

}  // namespace

// --- Object --------------------------------------------------------------------

Object::Object() noexcept = default;
Object& Object::operator=(Object&&) noexcept = default;

Object::Object(const Object& other) {
  members_.reserve(other.members_.size());
  for (const Member& m : other.members_) members_.push_back(Member{m.key, m.value});
  if (other.index_) index_ = std::make_unique<ObjectIndex>(*other.index_);
}

Object& Object::operator=(const Object& other) {
  if (this != &other) {
    Object copy(other);
    *this = std::move(copy);
  }
  return *this;
}

std::ptrdiff_t Object::position_of(std::string_view key) const noexcept {
  if (index_) return index_->find(members_, key);
  for (std::size_t i = 0; i < members_.size(); ++i)
    if (members_[i].key == key) return static_cast<std::ptrdiff_t>(i);
  return -1;
}

void Object::index_last() {
  if (index_) {
    index_->add_last(members_);
  } else if (members_.size() >= kIndexThreshold) {
    index_ = std::make_unique<ObjectIndex>(members_);
  }
}

Value& Object::insert(std::string key, Value value) {
  const std::ptrdiff_t pos = position_of(key);
  if (pos >= 0) {
    Value& slot = members_[static_cast<std::size_t>(pos)].value;
    slot = std::move(value);
    return slot;
  }
  return append_new(std::move(key), std::move(value));
}

Value& Object::append_new(std::string key, Value value) {
  assert(position_of(key) < 0);
  // Built in place: each string and value moves once.
  Member& added = members_.emplace_back(std::move(key), std::move(value));
  if (index_ || members_.size() >= kIndexThreshold) index_last();
  return added.value;
}

const Value* Object::find(std::string_view key) const noexcept {
  const std::ptrdiff_t pos = position_of(key);
  return pos < 0 ? nullptr : &members_[static_cast<std::size_t>(pos)].value;
}

Value* Object::find(std::string_view key) noexcept {
  const std::ptrdiff_t pos = position_of(key);
  return pos < 0 ? nullptr : &members_[static_cast<std::size_t>(pos)].value;
}

Object Object::from_unique(std::vector<Member> members) {
  Object o;
  o.members_ = std::move(members);
#ifndef NDEBUG
  for (std::size_t i = 0; i < o.members_.size(); ++i)
    for (std::size_t j = i + 1; j < o.members_.size(); ++j) assert(o.members_[i].key != o.members_[j].key);
#endif
  if (o.members_.size() >= kIndexThreshold) o.index_ = std::make_unique<ObjectIndex>(o.members_);
  return o;
}

std::vector<Member> Object::take_members() && noexcept {
  index_.reset();
  std::vector<Member> out = std::move(members_);
  members_.clear();
  return out;
}

std::optional<Value> Object::swap_remove(std::string_view key) {
  const std::ptrdiff_t pos = position_of(key);
  if (pos < 0) return std::nullopt;
  auto& slot = members_[static_cast<std::size_t>(pos)];
  std::optional<Value> removed(std::move(slot.value));
  if (&slot != &members_.back()) slot = std::move(members_.back());
  members_.pop_back();
  if (index_) {
    if (members_.size() < kIndexThreshold) {
      index_.reset();
    } else {
      index_ = std::make_unique<ObjectIndex>(members_);
    }
  }
  return removed;
}

// --- Value ---------------------------------------------------------------------

Value::Value(double d) noexcept {
  if (std::isfinite(d)) {
    kind_ = Kind::F64;
    u_.d = d;
  } else {
    kind_ = Kind::Null;
  }
}

double Value::to_f64() const noexcept {
  switch (kind_) {
    case Kind::U64: return static_cast<double>(u_.u);
    case Kind::I64: return static_cast<double>(u_.i);
    default: return u_.d;
  }
}

Value& Value::operator=(Value&& other) noexcept {
  if (this == &other) return *this;
  if (kind_ < Kind::String) {
    move_from(other);
    return *this;
  }
  // `other` may live inside this value: take it before destroying.
  Value taken(std::move(other));
  destroy();
  move_from(taken);
  return *this;
}

std::string& Value::become_string() {
  *this = Value();
  kind_ = Kind::String;
  new (&u_.s) std::string();
  return u_.s;
}

Array& Value::become_array() {
  *this = Value();
  kind_ = Kind::Array;
  new (&u_.a) Array();
  return u_.a;
}

Object& Value::become_object() {
  *this = Value();
  kind_ = Kind::Object;
  new (&u_.o) Object();
  return u_.o;
}

Value& Value::operator=(const Value& other) {
  if (this != &other) *this = Value(other);
  return *this;
}

void Value::destroy_shallow() noexcept {
  switch (kind_) {
    case Kind::String: u_.s.~basic_string(); break;
    case Kind::Array: u_.a.~Array(); break;
    case Kind::Object: u_.o.~Object(); break;
    default: break;
  }
  kind_ = Kind::Null;
}

// Moves the non-empty containers directly inside `v` to `out`, leaving nulls.
void detach_nested(Value& v, std::vector<Value>& out) {
  if (v.is_array()) {
    for (Value& child : v.as_array())
      if (is_nonempty_container(child)) out.push_back(std::move(child));
  } else if (v.is_object()) {
    for (Member& m : v.as_object().members_)
      if (is_nonempty_container(m.value)) out.push_back(std::move(m.value));
  }
}

namespace {

// Levels released by plain recursion before the flattening below takes
// over: every value the text reader makes fits, without a heap list.
constexpr int kRecursiveReleaseDepth = 32;

}  // namespace

void Value::release(int depth) noexcept {
  if (depth == 0 && kind_ > Kind::String) {
    // Flatten the tree first so that no destructor below recurses.
    std::vector<Value> pending;
    detach_nested(*this, pending);
    while (!pending.empty()) {
      Value v = std::move(pending.back());
      pending.pop_back();
      detach_nested(v, pending);
    }
  } else if (kind_ == Kind::Array) {
    for (Value& child : u_.a)
      if (child.kind_ > Kind::String) child.release(depth - 1);
  } else if (kind_ == Kind::Object) {
    for (Member& m : u_.o.members_)
      if (m.value.kind_ > Kind::String) m.value.release(depth - 1);
  }
  destroy_shallow();
}

void Value::destroy() noexcept { release(kRecursiveReleaseDepth); }

Value::Value(const Value& other) : kind_(other.kind_) {
  if (kind_ < Kind::String) {
    u_.u = other.u_.u;
    return;
  }
  kind_ = Kind::Null;
  *this = shallow_copy(other);
  if (!is_nonempty_container(other)) return;
  struct Task {
    const Value* from;
    Value* to;
  };
  std::vector<Task> tasks{{&other, this}};
  while (!tasks.empty()) {
    const Task task = tasks.back();
    tasks.pop_back();
    // Children are created first so their addresses are stable for the tasks.
    if (task.from->is_array()) {
      Array& to = task.to->as_array();
      for (const Value& child : task.from->as_array()) to.push_back(shallow_copy(child));
      for (std::size_t i = 0; i < to.size(); ++i)
        if (is_nonempty_container(task.from->as_array()[i])) tasks.push_back({&task.from->as_array()[i], &to[i]});
    } else {
      const Object& from = task.from->as_object();
      Object& to = task.to->as_object();
      for (const Member& m : from) to.members_.push_back(Member{m.key, shallow_copy(m.value)});
      if (from.index_) to.index_ = std::make_unique<ObjectIndex>(*from.index_);
      for (std::size_t i = 0; i < from.size(); ++i)
        if (is_nonempty_container(from.members_[i].value)) tasks.push_back({&from.members_[i].value, &to.members_[i].value});
    }
  }
}

const Value* Value::find(std::string_view key) const noexcept {
  return is_object() ? u_.o.find(key) : nullptr;
}

namespace {

// Compares two values without their children; queues the child pairs.
bool shallow_equal(const Value& a, const Value& b,
                   std::vector<std::pair<const Value*, const Value*>>& pending) {
  if (a.kind() != b.kind()) return false;
  switch (a.kind()) {
    case Kind::Null: return true;
    case Kind::Bool: return a.as_bool() == b.as_bool();
    case Kind::U64: return a.as_u64() == b.as_u64();
    case Kind::I64: return a.as_i64() == b.as_i64();
    case Kind::F64: return a.as_f64() == b.as_f64();
    case Kind::String: return a.as_string() == b.as_string();
    case Kind::Array: {
      const Array& x = a.as_array();
      const Array& y = b.as_array();
      if (x.size() != y.size()) return false;
      for (std::size_t i = 0; i < x.size(); ++i) pending.emplace_back(&x[i], &y[i]);
      return true;
    }
    case Kind::Object: {
      const Object& x = a.as_object();
      const Object& y = b.as_object();
      if (x.size() != y.size()) return false;
      // Key order does not matter; keys are unique, so equal sizes and every
      // key of x found in y means the same key set.
      for (const Member& m : x) {
        const Value* other = y.find(m.key);
        if (other == nullptr) return false;
        pending.emplace_back(&m.value, other);
      }
      return true;
    }
  }
  return false;
}

}  // namespace

bool operator==(const Value& a, const Value& b) noexcept {
  std::vector<std::pair<const Value*, const Value*>> pending;
  if (!shallow_equal(a, b, pending)) return false;
  while (!pending.empty()) {
    const auto [x, y] = pending.back();
    pending.pop_back();
    if (!shallow_equal(*x, *y, pending)) return false;
  }
  return true;
}

}  // namespace revizer::json
