// Byte-exact vectors: the application side reads these bytes, so any drift
// in tags, sizes, padding or ordering breaks every channel; plug-ins' own
// types included.
#include <gtest/gtest.h>

#include <any>
#include <cstring>

#include "codec_test_util.h"

namespace codec_test {
namespace {

using flutter::MethodCall;

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
  ExpectEncodesTo(V(int32_t{-2}), {3, 0xFE, 0xFF, 0xFF, 0xFF});
  ExpectEncodesTo(V(int32_t{0x12345678}), {3, 0x78, 0x56, 0x34, 0x12});
  ExpectEncodesTo(V(int64_t{0x0102030405060708}), {4, 8, 7, 6, 5, 4, 3, 2, 1});
  // A top-level double: tag, seven zero bytes, then 1.5.
  ExpectEncodesTo(V(1.5), {6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F});
  ExpectEncodesTo(V(std::string()), {7, 0});
  // Size counts UTF-8 bytes, not characters.
  ExpectEncodesTo(V("\xC3\xA9\xE2\x82\xAC"), {7, 5, 0xC3, 0xA9, 0xE2, 0x82, 0xAC});
  ExpectEncodesTo(V(std::vector<uint8_t>{1, 2, 0xFF}), {8, 3, 1, 2, 0xFF});
  ExpectEncodesTo(V(std::vector<int32_t>{1, -1}), {9, 2, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF});
  ExpectEncodesTo(V(std::vector<float>{1.5f, -2.0f}),
                  {14, 2, 0, 0, 0, 0, 0xC0, 0x3F, 0, 0, 0, 0xC0});
  ExpectEncodesTo(V(EncodableList{V(1), V("a"), V()}), {12, 3, 3, 1, 0, 0, 0, 7, 1, 'a', 0});
  // The legacy large-integer tag carries decimal text and reads as a string,
  // though strings are written with their own tag (as above).
  EXPECT_EQ(Decoded({5, 3, '1', '2', '3'}), V("123"));
}

TEST(WireFormat, SizeBoundaries) {
  struct Case {
    size_t size;
    Bytes header;
  };
  const Case cases[] = {{0, {0}}, {253, {253}}, {254, {254, 254, 0}}, {255, {254, 255, 0}},
                        {256, {254, 0, 1}}, {65535, {254, 0xFF, 0xFF}},
                        {65536, {255, 0, 0, 1, 0}}, {70000, {255, 0x70, 0x11, 0x01, 0}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    std::string text(c.size, 'x');
    if (c.size > 0) text.back() = 'y';
    Bytes string_bytes = Cat({{7}, c.header, Bytes(text.begin(), text.end())});
    ExpectEncodesTo(V(text), string_bytes);

    EncodableList list(c.size, V(false));
    ExpectEncodesTo(V(list), Cat({{12}, c.header, Bytes(c.size, 2)}));

    // One byte short of the announced size must not decode.
    string_bytes.pop_back();
    EXPECT_EQ(Decoded(string_bytes), std::nullopt);
  }
}

// Lists of the form [prefix string of |k| bytes, value]: the value's tag then
// lands at offset 4 + k, covering every residue modulo 8.
Bytes ListWithPrefix(size_t k, const Bytes& value_bytes) {
  return Cat({{12, 2, 7, uint8_t(k)}, Bytes(k, 'p'), value_bytes});
}

void PadTo(Bytes* b, size_t alignment) {
  while (b->size() % alignment != 0) b->push_back(0);
}

TEST(WireFormat, AlignmentAtEveryOffset) {
  for (size_t k = 0; k < 8; ++k) {
    SCOPED_TRACE(k);
    const EncodableValue prefix(std::string(k, 'p'));

    Bytes d = ListWithPrefix(k, {6});
    PadTo(&d, 8);
    Append(&d, Raw(-3.25));
    ExpectEncodesTo(V(EncodableList{prefix, V(-3.25)}), d);

    // A typed list of one element and an empty one, padded to the element.
    auto typed = [&](uint8_t tag, auto element) {
      using T = decltype(element);
      SCOPED_TRACE(int(tag));
      Bytes one = ListWithPrefix(k, {tag, 1});
      PadTo(&one, sizeof(T));
      Append(&one, Raw(element));
      ExpectEncodesTo(V(EncodableList{prefix, V(std::vector<T>{element})}), one);

      Bytes empty = ListWithPrefix(k, {tag, 0});
      PadTo(&empty, sizeof(T));
      ExpectEncodesTo(V(EncodableList{prefix, V(std::vector<T>{})}), empty);
      // Cut after its count, before the padding due, it is truncated.
      if (empty.size() != k + 6) {
        empty.resize(k + 6);
        EXPECT_EQ(Decoded(empty), std::nullopt);
      }
    };
    typed(8, uint8_t{9});
    typed(9, int32_t{-7});
    typed(14, 0.25f);
    typed(10, int64_t{-9});
    typed(11, 6.5);
  }
}

TEST(WireFormat, MapKeyOrder) {
  EncodableMap map{{V("\xC3\xA9"), V(1)}, {V("b"), V(2)}, {V(int64_t{1}), V(3)},
                   {V(7), V(4)}, {V(false), V(5)}};
  // Kind first (bool, int32, int64, string), then value; strings by
  // unsigned bytes, so "b" < "é".
  ExpectEncodesTo(V(map), Cat({{13, 5},
                               {2, 3, 5, 0, 0, 0},
                               {3, 7, 0, 0, 0, 3, 4, 0, 0, 0},
                               {4, 1, 0, 0, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0},
                               {7, 1, 'b', 3, 2, 0, 0, 0},
                               {7, 2, 0xC3, 0xA9, 3, 1, 0, 0, 0}}));
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
  EXPECT_EQ(*codec.EncodeErrorEnvelope("E", "", &half),
            (Bytes{1, 7, 1, 'E', 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0x3F}));
}

// Plug-ins extend the codec with their own types: the extension must be
// used at any depth, and one codec instance serves each serializer.
struct Point {
  int32_t x, y;
};
const Point* AsPoint(const V& v) {
  const auto* custom = std::get_if<flutter::CustomEncodableValue>(&v);
  return custom ? std::any_cast<Point>(&static_cast<const std::any&>(*custom)) : nullptr;
}

// An extension type, as plug-ins add them: tag 128, two int32s.
class PointSerializer : public flutter::StandardCodecSerializer {
 public:
  void WriteValue(const V& value, flutter::ByteStreamWriter* stream) const override {
    const Point* p = AsPoint(value);
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
  const auto& standard = flutter::StandardCodecSerializer::GetInstance();
  EXPECT_EQ(&MessageCodec(), &flutter::StandardMessageCodec::GetInstance(&standard));

  // The extension must also be used for values nested in a list.
  const V list(EncodableList{V(flutter::CustomEncodableValue(Point{1, -2})), V("a")});
  const Bytes bytes = {12, 2, 128, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 7, 1, 'a'};
  EXPECT_EQ(*codec.EncodeMessage(list), bytes);
  auto decoded = codec.DecodeMessage(bytes);
  ASSERT_NE(decoded, nullptr);
  const auto& items = std::get<EncodableList>(*decoded);
  const Point* p = AsPoint(items.at(0));
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->x == 1 && p->y == -2 && items.size() == 2 && items[1] == V("a"));
  EXPECT_EQ(codec.DecodeMessage(Bytes{128, 1, 0, 0, 0, 2}), nullptr);

  // Without the extension the tag is unknown, and the value is written as
  // null so the surrounding message stays well formed.
  EXPECT_EQ(MessageCodec().DecodeMessage(bytes), nullptr);
  EXPECT_EQ(Encode(list), (Bytes{12, 2, 0, 7, 1, 'a'}));
  const auto& method = flutter::StandardMethodCodec::GetInstance(&serializer);
  EXPECT_NE(method.DecodeMethodCall({7, 1, 'p', 128, 1, 0, 0, 0, 2, 0, 0, 0}), nullptr);
}

}  // namespace
}  // namespace codec_test
