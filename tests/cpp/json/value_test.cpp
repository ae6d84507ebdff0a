#include "model/json/value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace revizer::json {
namespace {

TEST(JsonValue, EachConstructionGivesItsKind) {
  struct Case {
    Value value;
    Kind kind;
  };
  const Case cases[] = {
      {Value(), Kind::Null},
      {Value(nullptr), Kind::Null},
      {Value(true), Kind::Bool},
      {Value(0), Kind::U64},
      {Value(std::int64_t{5}), Kind::U64},  // non-negative signed is unsigned
      {Value(std::numeric_limits<std::uint64_t>::max()), Kind::U64},
      {Value(-1), Kind::I64},
      {Value(std::numeric_limits<std::int64_t>::min()), Kind::I64},
      {Value(2.0), Kind::F64},  // a whole float stays a float
      {Value(-0.0), Kind::F64},
      {Value(std::nan("")), Kind::Null},  // non-finite floats are written as null
      {Value(std::numeric_limits<double>::infinity()), Kind::Null},
      {Value("text"), Kind::String},
      {Value(Array{}), Kind::Array},
      {Value(Object{}), Kind::Object},
  };
  for (const Case& c : cases) EXPECT_EQ(c.value.kind(), c.kind);
  EXPECT_EQ(Value(-7).as_i64(), -7);
  EXPECT_EQ(Value(7u).as_u64(), 7u);
  EXPECT_EQ(Value(1.5).as_f64(), 1.5);
  EXPECT_EQ(Value(-3).to_f64(), -3.0);
}

Object with_keys(int n) {
  Object o;
  for (int i = 0; i < n; ++i) o.insert(std::string("k").append(std::to_string(i)), Value(i));
  return o;
}

TEST(JsonObject, RepeatedKeyKeepsFirstPositionAndLastValue) {
  // Small objects are scanned; large ones use the index: both must agree.
  for (int size : {3, 40, 5000}) {
    Object o = with_keys(size);
    o.insert("k1", Value("last"));
    o.insert("extra", Value(true));
    ASSERT_EQ(o.size(), static_cast<std::size_t>(size) + 1) << size;
    EXPECT_EQ(o.members()[1].key, "k1");
    EXPECT_EQ(o.members()[1].value, Value("last"));
    EXPECT_EQ(o.members().back().key, "extra");
    ASSERT_NE(o.find("k2"), nullptr);
    EXPECT_EQ(*o.find("k2"), Value(2));
    EXPECT_EQ(o.find("missing"), nullptr);
    EXPECT_EQ(o.find("K2"), nullptr);  // keys match exactly
  }
}

TEST(JsonObject, SwapRemoveMovesTheLastEntryIntoThePlace) {
  // Small, at the index threshold, and indexed: lookups stay right.
  for (int size : {4, 12, 13, 300}) {
    Object o = with_keys(size);
    auto removed = o.swap_remove("k1");
    ASSERT_TRUE(removed) << size;
    EXPECT_EQ(*removed, Value(1));
    ASSERT_EQ(o.size(), static_cast<std::size_t>(size) - 1);
    const std::string last = std::string("k").append(std::to_string(size - 1));
    EXPECT_EQ(o.members()[0].key, "k0");
    EXPECT_EQ(o.members()[1].key, last);
    EXPECT_EQ(o.members()[2].key, "k2");
    EXPECT_EQ(o.find("k1"), nullptr);
    ASSERT_NE(o.find(last), nullptr);
    EXPECT_EQ(*o.find(last), Value(size - 1));
    EXPECT_FALSE(o.swap_remove("k1"));
    // Removing the last entry moves nothing.
    const std::string now_last = o.members().back().key;
    EXPECT_TRUE(o.swap_remove(now_last));
    EXPECT_EQ(o.members()[1].key, last);
    EXPECT_EQ(o.find(now_last), nullptr);
    EXPECT_EQ(o.size(), static_cast<std::size_t>(size) - 2);
    o.insert("k1", Value("again"));
    EXPECT_EQ(o.members().back().key, "k1");
    EXPECT_EQ(*o.find("k1"), Value("again"));
  }
}

TEST(JsonObject, CopiesKeepOrderAndLookup) {
  const Object big = with_keys(100);
  Object copy = big;
  copy.insert("k50", Value("changed"));
  EXPECT_EQ(copy.size(), 100u);
  EXPECT_EQ(copy.members()[50].value, Value("changed"));
  EXPECT_EQ(*big.find("k50"), Value(50));
  EXPECT_EQ(*Value(big).find("k99"), Value(99));
}

TEST(JsonValue, MovesContentOut) {
  Value s("a long string that does not fit a small buffer");
  const char* data = s.as_string().data();
  std::string taken = std::move(s).take_string();
  EXPECT_EQ(taken.data(), data);

  Object o = with_keys(20);
  std::vector<Member> members = std::move(o).take_members();
  EXPECT_EQ(members.size(), 20u);
  EXPECT_EQ(members[3].key, "k3");
  EXPECT_TRUE(o.empty());
  EXPECT_EQ(o.find("k3"), nullptr);
}

TEST(JsonValue, AssigningAChildToItsParent) {
  Value v(Array{Value(Array{Value(1), Value("x")}), Value(2)});
  v = std::move(v.as_array()[0]);
  EXPECT_EQ(v, Value(Array{Value(1), Value("x")}));
  Value w(Array{Value("inner")});
  w = w.as_array()[0];
  EXPECT_EQ(w, Value("inner"));
}

TEST(JsonValue, Equality) {
  Object ab;
  ab.insert("a", Value(1));
  ab.insert("b", Value(Array{Value(true)}));
  Object ba;
  ba.insert("b", Value(Array{Value(true)}));
  ba.insert("a", Value(1));
  Object ac;
  ac.insert("a", Value(1));
  ac.insert("c", Value(Array{Value(true)}));

  struct Case {
    Value a, b;
    bool equal;
  };
  const Case cases[] = {
      {Value(), Value(), true},
      {Value(1), Value(1.0), false},  // number kinds differ
      {Value(true), Value(1), false},
      {Value(0.0), Value(-0.0), true},  // IEEE equality
      {Value("a"), Value("a"), true},
      {Value("a"), Value("b"), false},
      {Value(ab), Value(ba), true},  // key order does not matter
      {Value(ab), Value(ac), false},
      {Value(Array{Value(1), Value(2)}), Value(Array{Value(2), Value(1)}), false},
      {Value(Array{}), Value(Object{}), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.a == c.b, c.equal);
    EXPECT_EQ(c.b == c.a, c.equal);
  }
  EXPECT_EQ(Value(with_keys(300)), Value(with_keys(300)));
}

Value nested(int depth, bool objects) {
  Value v("leaf");
  for (int i = 0; i < depth; ++i) {
    if (objects) {
      Object o;
      o.insert("k", std::move(v));
      v = Value(std::move(o));
    } else {
      Array a;  // not Array{...}: an initializer list would copy
      a.push_back(std::move(v));
      v = Value(std::move(a));
    }
  }
  return v;
}

TEST(JsonValue, MillionLevelsDeepCopyCompareDestroy) {
  for (bool objects : {false, true}) {
    Value deep = nested(1'000'000, objects);
    Value copy = deep;
    EXPECT_TRUE(copy == deep);
    Value other = nested(1'000'000, objects);
    EXPECT_TRUE(other == deep);
    // Change the innermost leaf of the copy.
    Value* cursor = &copy;
    while (!cursor->is_string())
      cursor = objects ? cursor->as_object().find("k") : &cursor->as_array()[0];
    *cursor = Value("other");
    EXPECT_FALSE(copy == deep);
  }
}

}  // namespace
}  // namespace revizer::json
