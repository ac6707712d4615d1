// EncodableValue as embedders use it, and byte-exact vectors: the
// application side reads these bytes, so any drift in tags, sizes, padding or
// ordering breaks every channel; plug-ins' own types included. This file is
// also built as C++17 (see CMakeLists.txt): plug-in code may use either.
#include <gtest/gtest.h>

#include <any>
#include <cmath>
#include <cstring>

#include "codec_test_util.h"

namespace codec_test {
namespace {

using flutter::CustomEncodableValue;
using flutter::MethodCall;
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

void ExpectEncodesTo(const EncodableValue& value, const Bytes& expected) {
  EXPECT_EQ(Encode(value), expected);
  EXPECT_EQ(Decoded(expected), value);
}

// A number's little-endian image, as both the wire and this machine hold it.
template <typename T>
Bytes Raw(T number) {
  Bytes bytes(sizeof number);
  std::memcpy(bytes.data(), &number, sizeof number);
  return bytes;
}

TEST(WireFormat, ScalarsStringsAndTypedLists) {
  ExpectEncodesTo(V(), {0});
  ExpectEncodesTo(V(true), {1});
  ExpectEncodesTo(V(false), {2});
  ExpectEncodesTo(V(int32_t{0x12345678}), {3, 0x78, 0x56, 0x34, 0x12});
  ExpectEncodesTo(V(int64_t{0x0102030405060708}), {4, 8, 7, 6, 5, 4, 3, 2, 1});
  // A top-level double: tag, seven zero bytes, then 1.5.
  ExpectEncodesTo(V(1.5), {6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F});
  // Size counts UTF-8 bytes, not characters.
  ExpectEncodesTo(V("\xC3\xA9\xE2\x82\xAC"), {7, 5, 0xC3, 0xA9, 0xE2, 0x82, 0xAC});
  // Typed lists of more than one element (their padding is below).
  ExpectEncodesTo(V(std::vector<int32_t>{1, -1}), {9, 2, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
  // The legacy large-integer tag carries decimal text and reads as a string,
  // though strings are written with their own tag (as above).
  EXPECT_EQ(Decoded({5, 3, '1', '2', '3'}), V("123"));
}

TEST(WireFormat, SizeBoundaries) {
  const std::pair<size_t, Bytes> cases[] = {
      {0, {0}}, {253, {253}}, {254, {254, 254, 0}}, {255, {254, 255, 0}}, {256, {254, 0, 1}},
      {65535, {254, 0xFF, 0xFF}}, {65536, {255, 0, 0, 1, 0}}, {70000, {255, 0x70, 0x11, 0x01, 0}}};
  for (const auto& [size, header] : cases) {
    SCOPED_TRACE(size);
    std::string text(size, 'x');
    if (size > 0) text.back() = 'y';
    ExpectEncodesTo(V(text), Cat({{7}, header, Bytes(text.begin(), text.end())}));
  }
}

// [prefix string of |k| bytes, value]: the value's tag lands at offset 4 + k,
// covering every residue modulo 8. |head| is followed by padding to |align|,
// then by |tail|.
Bytes ListWithPrefix(size_t k, const Bytes& head, size_t align, const Bytes& tail) {
  Bytes bytes = Cat({{12, 2, 7, uint8_t(k)}, Bytes(k, 'p'), head});
  while (bytes.size() % align != 0) bytes.push_back(0);
  return Cat({bytes, tail});
}

TEST(WireFormat, AlignmentAtEveryOffset) {
  for (size_t k = 0; k < 8; ++k) {
    SCOPED_TRACE(k);
    const EncodableValue prefix(std::string(k, 'p'));
    ExpectEncodesTo(V(EncodableList{prefix, V(-3.25)}), ListWithPrefix(k, {6}, 8, Raw(-3.25)));

    // A typed list of one element and an empty one, padded to the element.
    auto typed = [&](uint8_t tag, auto element) {
      using T = decltype(element);
      SCOPED_TRACE(int(tag));
      ExpectEncodesTo(V(EncodableList{prefix, V(std::vector<T>{element})}),
                      ListWithPrefix(k, {tag, 1}, sizeof(T), Raw(element)));
      ExpectEncodesTo(V(EncodableList{prefix, V(std::vector<T>{})}),
                      ListWithPrefix(k, {tag, 0}, sizeof(T), {}));
    };
    typed(8, uint8_t{9});
    typed(9, int32_t{-7});
    typed(14, 0.25f);
    typed(10, int64_t{-9});
    typed(11, 6.5);
  }
}

TEST(WireFormat, MapKeyOrder) {
  // Each key before its value, keys in EncodableValue's order (kind first).
  ExpectEncodesTo(V(EncodableMap{{V("b"), V(2)}, {V(int64_t{1}), V(3)}, {V(7), V(4)}}),
                  Cat({{13, 3},
                       {3, 7, 0, 0, 0, 3, 4, 0, 0, 0},
                       {4, 1, 0, 0, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0},
                       {7, 1, 'b', 3, 2, 0, 0, 0}}));
  // A repeated key keeps its last value, as a map literal would.
  EXPECT_EQ(Decoded({13, 3, 3, 1, 0, 0, 0, 1, 0, 0, 3, 1, 0, 0, 0, 2}),
            V(EncodableMap{{V(1), V(false)}, {V(), V()}}));
}

TEST(WireFormat, MethodCallsAndEnvelopes) {
  const auto& codec = MethodCodec();
  EXPECT_EQ(*codec.EncodeMethodCall(MethodCall<EncodableValue>("foo", nullptr)),
            (Bytes{7, 3, 'f', 'o', 'o', 0}));
  // The double's padding counts from the start of the call.
  EXPECT_EQ(*codec.EncodeMethodCall(MethodCall<EncodableValue>(
                "m", std::make_unique<EncodableValue>(2.0))),
            (Bytes{7, 1, 'm', 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x40}));
  EXPECT_EQ(*codec.EncodeSuccessEnvelope(), (Bytes{0, 0}));
  // The leading flag byte shifts the padding: 6 padding bytes, not 7.
  const EncodableValue five(5), half(0.5);
  EXPECT_EQ(*codec.EncodeSuccessEnvelope(&half),
            (Bytes{0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F}));

  EXPECT_EQ(*codec.EncodeErrorEnvelope("code"),
            (Bytes{1, 7, 4, 'c', 'o', 'd', 'e', 0, 0}));
  EXPECT_EQ(*codec.EncodeErrorEnvelope("E", "msg", &five),
            (Bytes{1, 7, 1, 'E', 7, 3, 'm', 's', 'g', 3, 5, 0, 0, 0}));
}

// Plug-ins extend the codec with their own types: the extension must be
// used at any depth, and one codec instance serves each serializer.
struct Point {
  int32_t x, y;
};

// An extension type, as plug-ins add them: tag 128, two int32s.
class PointSerializer : public flutter::StandardCodecSerializer {
 public:
  void WriteValue(const V& value, flutter::ByteStreamWriter* stream) const override {
    const auto* custom = std::get_if<flutter::CustomEncodableValue>(&value);
    const Point* p =
        custom ? std::any_cast<Point>(&static_cast<const std::any&>(*custom)) : nullptr;
    if (!p) return StandardCodecSerializer::WriteValue(value, stream);
    stream->WriteByte(128);
    stream->WriteInt32(p->x);
    stream->WriteInt32(p->y);
  }

 protected:
  V ReadValueOfType(uint8_t type, flutter::ByteStreamReader* stream) const override {
    if (type != 128) return StandardCodecSerializer::ReadValueOfType(type, stream);
    const int32_t x = stream->ReadInt32();
    return V(flutter::CustomEncodableValue(Point{x, stream->ReadInt32()}));
  }
};

TEST(Extension, UsedAtAnyDepthWithOneCodecPerSerializer) {
  static const PointSerializer serializer;
  const auto& codec = flutter::StandardMessageCodec::GetInstance(&serializer);
  EXPECT_EQ(&codec, &flutter::StandardMessageCodec::GetInstance(&serializer));

  const V list(EncodableList{V(flutter::CustomEncodableValue(Point{1, -2})), V("a")});
  const Bytes bytes = {12, 2, 128, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 7, 1, 'a'};
  EXPECT_EQ(*codec.EncodeMessage(list), bytes);
  const auto decoded = codec.DecodeMessage(bytes);
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(*codec.EncodeMessage(*decoded), bytes);  // the point read back, not a null

  // Without the extension the tag is unknown, and the value is written as
  // null so the surrounding message stays well formed.
  EXPECT_EQ(MessageCodec().DecodeMessage(bytes), nullptr);
  EXPECT_EQ(Encode(list), (Bytes{12, 2, 0, 7, 1, 'a'}));
  const auto& method = flutter::StandardMethodCodec::GetInstance(&serializer);
  EXPECT_NE(method.DecodeMethodCall({7, 1, 'p', 128, 1, 0, 0, 0, 2, 0, 0, 0}), nullptr);
}

}  // namespace
}  // namespace codec_test
