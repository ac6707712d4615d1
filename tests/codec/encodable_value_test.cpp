// EncodableValue as embedders use it. This file is also built as C++17 (see
// CMakeLists.txt): plug-in code may be compiled with either standard.
#include <gtest/gtest.h>

#include <any>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "flutter/encodable_value.h"
#include "value_printer.h"

namespace {

using flutter::CustomEncodableValue;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using V = flutter::EncodableValue;
using I32 = std::numeric_limits<int32_t>;
using I64 = std::numeric_limits<int64_t>;

TEST(EncodableValue, ConstructionAndAccessors) {
  // A string literal must not decay to bool.
  V s("text");
  EXPECT_EQ(std::get<std::string>(s), "text");
  s = "other";
  EXPECT_EQ(std::get<std::string>(s), "other");
  EXPECT_TRUE(V().IsNull());
  for (const V& v : {V(false), V(0), V(""), V(EncodableList{})}) EXPECT_FALSE(v.IsNull());

  EXPECT_EQ(V(I32::min()).LongValue(), int64_t{-2147483648});
  EXPECT_EQ(V(I64::min()).LongValue(), I64::min());
  // Other kinds answer 0 instead of throwing.
  EXPECT_EQ(V(7.0).LongValue(), 0);
  EXPECT_EQ(V("7").LongValue(), 0);

  // Custom values compare by identity: a copy is a different value.
  const V custom(CustomEncodableValue(std::any(42)));
  const V custom_copy = custom;
  EXPECT_EQ(custom, custom);
  EXPECT_NE(custom, custom_copy);
  EXPECT_EQ(std::any_cast<int>(static_cast<const std::any&>(
                std::get<CustomEncodableValue>(custom_copy))),
            42);
}

// Strictly increasing under EncodableValue's order: kind first, then value
// (so any int64 sorts after every int32, and strings by unsigned bytes).
std::vector<V> Ascending() {
  using L = EncodableList;
  using M = EncodableMap;
  return {V(), V(false), V(true), V(I32::min()), V(-1), V(5), V(int64_t{-100}), V(int64_t{1}),
          V(-std::numeric_limits<double>::infinity()), V(-0.5), V(0.5),
          V(""), V("a"), V("ab"), V("b"), V("z"), V("\xC3\xA9"),
          V(std::vector<uint8_t>{}), V(std::vector<uint8_t>{0}), V(std::vector<uint8_t>{0, 0}),
          V(std::vector<uint8_t>{1}), V(std::vector<int32_t>{-1}), V(std::vector<int64_t>{-1}),
          V(std::vector<double>{-1.0}), V(std::vector<double>{-1.0, 0.0}),
          V(L{}), V(L{V(1)}), V(L{V(1), V()}), V(L{V(2)}), V(L{V("a")}),
          V(M{}), V(M{{V(1), V(1)}}), V(M{{V(1), V(2)}}), V(M{{V(2), V(0)}}),
          V(std::vector<float>{}), V(std::vector<float>{2.0f})};
}

TEST(EncodableValue, TotalOrder) {
  const std::vector<V> v = Ascending();
  for (size_t i = 0; i < v.size(); ++i) {
    const V copy = v[i];
    EXPECT_TRUE(copy == v[i] && !(copy != v[i]) && !(copy < v[i])) << i;
    EXPECT_TRUE(copy <= v[i] && copy >= v[i]) << i;
    for (size_t j = i + 1; j < v.size(); ++j) {
      EXPECT_TRUE(v[i] < v[j] && !(v[j] < v[i])) << i << " < " << j;
      EXPECT_TRUE(v[j] > v[i] && v[i] <= v[j] && v[j] >= v[i]) << i << j;
      EXPECT_TRUE(v[i] != v[j] && !(v[i] == v[j])) << i << " != " << j;
#if __cplusplus >= 202002L
      EXPECT_TRUE((v[i] <=> v[j]) < 0 && (v[j] <=> v[i]) > 0) << i << j;
#endif
    }
  }
  EXPECT_NE(V(5), V(int64_t{5}));
}

TEST(EncodableValue, NanIsOrderedAfterNumbersAndKeptApart) {
  const double nan = std::nan("");
  EXPECT_NE(V(std::vector<double>{nan}), V(std::vector<double>{0.0}));
  EncodableMap m{{V(1.0), V("one")}};
  m[V(nan)] = V("nan");
  EXPECT_EQ(m.size(), 2u);
  EXPECT_TRUE(V(1e308) < V(nan));
  EXPECT_EQ(V(nan), V(std::nan("1")));
}

}  // namespace
