// EncodableValue as embedders use it. This file is also built as C++17 (see
// CMakeLists.txt): plug-in code may be compiled with either standard.
#include <gtest/gtest.h>

#include <any>
#include <cmath>

#include "codec_test_util.h"

namespace codec_test {
namespace {

using flutter::CustomEncodableValue;
using I32 = std::numeric_limits<int32_t>;
using I64 = std::numeric_limits<int64_t>;

TEST(EncodableValue, ConstructionAndAccessors) {
  // A string literal must not decay to bool.
  V s("text");
  EXPECT_EQ(std::get<std::string>(s), "text");
  s = "other";
  EXPECT_EQ(std::get<std::string>(s), "other");

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

TEST(EncodableValue, TotalOrder) {
  const std::vector<V> v = Samples();
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
  EXPECT_EQ(V(std::nan("")), V(std::nan("1")));
}

}  // namespace
}  // namespace codec_test
