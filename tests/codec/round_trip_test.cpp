// Values must come back exactly as sent, through every framing the channels
// use, and replies must reach the right MethodResult callback.
#include <gtest/gtest.h>

#include <any>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

#include "codec_test_util.h"

namespace codec_test {
namespace {

using flutter::MethodCall;

std::vector<EncodableValue> Samples() {
  using I32 = std::numeric_limits<int32_t>;
  using I64 = std::numeric_limits<int64_t>;
  const double inf = std::numeric_limits<double>::infinity();
  return {V(), V(true), V(false), V(0), V(I32::min()), V(I32::max()),
          V(int64_t{0}), V(I64::min()), V(I64::max()), V(int64_t{-4294967296}),
          V(0.0), V(-0.0), V(-1e308), V(4.9e-324), V(inf), V(-inf), V(0.1),
          V(""), V(std::string("nul\0inside", 10)),
          V("Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5 \xF0\x9F\x8E\xB9"),
          V(std::vector<uint8_t>{0, 0x7F, 0x80, 0xFF}),
          V(std::vector<int32_t>{I32::min(), -1, 0, 1}),
          V(std::vector<int64_t>{I64::min(), I64::max()}),
          V(std::vector<double>{-0.5, 1e-300, inf}),
          V(std::vector<float>{-1.5f, 3.4e38f, 1e-45f}),
          V(std::vector<uint8_t>{}), V(std::vector<int64_t>{}),
          V(std::vector<float>{}), V(EncodableList{}), V(EncodableMap{}),
          // Doubles and typed lists at odd offsets inside containers.
          V(EncodableList{V("a"), V(1.25), V("abc"),
                          V(std::vector<double>{2.5}), V(true),
                          V(std::vector<float>{7.0f}), V(-8.0)}),
          V(EncodableMap{
              {V("k"), V(9.75)},
              {V(EncodableList{V(2.5), V("x")}),
               V(EncodableMap{{V(0.5), V(std::vector<int64_t>{3})},
                              {V(int64_t{-7}), V(EncodableList{})}})},
              {V(std::vector<uint8_t>{1, 2, 3}), V(EncodableMap{})},
              {V(), V("null key")}})};
}

// Equality here ignores the sign of zero, so compare the bits of doubles.
bool SameBits(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return false;
  if (const auto* d = std::get_if<double>(&a)) {
    return std::memcmp(d, &std::get<double>(b), sizeof(double)) == 0;
  }
  return a == b;
}

TEST(RoundTrip, EveryKindThroughEveryFraming) {
  const auto& method = MethodCodec();
  for (const auto& v : Samples()) {
    SCOPED_TRACE(testing::PrintToString(Encode(v)));
    const Bytes bytes = Encode(v);
    auto message = MessageCodec().DecodeMessage(bytes);
    ASSERT_NE(message, nullptr);
    EXPECT_TRUE(SameBits(*message, v));
    EXPECT_EQ(Encode(*message), bytes);

    auto call = method.DecodeMethodCall(
        *method.EncodeMethodCall(MethodCall<EncodableValue>(
            "\xC3\xA9t\xC3\xA9", std::make_unique<EncodableValue>(v))));
    ASSERT_NE(call, nullptr);
    EXPECT_EQ(call->method_name(), "\xC3\xA9t\xC3\xA9");
    ASSERT_NE(call->arguments(), nullptr);
    EXPECT_TRUE(SameBits(*call->arguments(), v));

    // The envelope's flag byte moves everything by one: padding must follow.
    bool ok = false;
    Outcome o = DecodeEnvelope(*method.EncodeSuccessEnvelope(&v), &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(o.calls, 1);
    EXPECT_TRUE(o.success);
    EXPECT_EQ(o.has_value, !v.IsNull());
    EXPECT_TRUE(SameBits(o.value, v));

    o = DecodeEnvelope(*method.EncodeErrorEnvelope("c", "m", &v), &ok);
    ASSERT_TRUE(ok);
    EXPECT_TRUE(o.error);
    EXPECT_EQ(o.code, "c");
    EXPECT_EQ(o.message, "m");
    EXPECT_EQ(o.has_value, !v.IsNull());
    EXPECT_TRUE(SameBits(o.value, v));
  }
}

// What the codec's own writer never produces: a null message, and a trace.
TEST(RoundTrip, ErrorEnvelopesTheWriterNeverMakes) {
  bool ok = false;
  // Null message reads as empty; null details come as no details at all.
  Outcome o = DecodeEnvelope({1, 7, 1, 'E', 0, 0}, &ok);
  EXPECT_TRUE(ok && o.error);
  EXPECT_EQ(o.code, "E");
  EXPECT_EQ(o.message, "");
  EXPECT_FALSE(o.has_value);

  // A stack trace after the details is dropped, not taken for them.
  o = DecodeEnvelope({1, 7, 1, 'E', 7, 1, 'm', 2, 7, 3, 'a', 't', '1'}, &ok);
  EXPECT_TRUE(ok && o.error && o.calls == 1);
  EXPECT_EQ(o.message, "m");
  EXPECT_EQ(o.value, V(false));
}

struct Point {
  int32_t x, y;
};
const Point* AsPoint(const V& v) {
  const auto* custom = std::get_if<flutter::CustomEncodableValue>(&v);
  return custom ? std::any_cast<Point>(&static_cast<const std::any&>(*custom))
                : nullptr;
}

// An extension type, as plug-ins add them: tag 128, two int32s.
class PointSerializer : public flutter::StandardCodecSerializer {
 public:
  void WriteValue(const V& value,
                  flutter::ByteStreamWriter* stream) const override {
    const Point* p = AsPoint(value);
    if (!p) return StandardCodecSerializer::WriteValue(value, stream);
    stream->WriteByte(128);
    stream->WriteInt32(p->x);
    stream->WriteInt32(p->y);
  }

 protected:
  V ReadValueOfType(uint8_t type,
                    flutter::ByteStreamReader* stream) const override {
    if (type != 128) {
      return StandardCodecSerializer::ReadValueOfType(type, stream);
    }
    const int32_t x = stream->ReadInt32();
    return V(flutter::CustomEncodableValue(Point{x, stream->ReadInt32()}));
  }
};

TEST(RoundTrip, ExtensionSerializer) {
  static const PointSerializer serializer;
  const auto& codec = flutter::StandardMessageCodec::GetInstance(&serializer);
  EXPECT_EQ(&codec, &flutter::StandardMessageCodec::GetInstance(&serializer));
  EXPECT_NE(&codec, &MessageCodec());
  const auto& standard = flutter::StandardCodecSerializer::GetInstance();
  EXPECT_EQ(&MessageCodec(),
            &flutter::StandardMessageCodec::GetInstance(&standard));

  // The extension must also be used for values nested in a list.
  const V list(EncodableList{V(flutter::CustomEncodableValue(Point{1, -2})),
                             V("a")});
  const Bytes bytes = {12, 2, 128, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF,
                       7,  1, 'a'};
  EXPECT_EQ(*codec.EncodeMessage(list), bytes);
  auto decoded = codec.DecodeMessage(bytes);
  ASSERT_NE(decoded, nullptr);
  const auto& items = std::get<EncodableList>(*decoded);
  ASSERT_EQ(items.size(), 2u);
  const Point* p = AsPoint(items[0]);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->x == 1 && p->y == -2);
  EXPECT_EQ(items[1], V("a"));
  EXPECT_EQ(codec.DecodeMessage(Bytes{128, 1, 0, 0, 0, 2}), nullptr);

  // Without the extension the tag is unknown, and the value is written as
  // null so the surrounding message stays well formed.
  EXPECT_EQ(MessageCodec().DecodeMessage(bytes), nullptr);
  EXPECT_EQ(Encode(list), (Bytes{12, 2, 0, 7, 1, 'a'}));
  const auto& method = flutter::StandardMethodCodec::GetInstance(&serializer);
  EXPECT_NE(&method, &MethodCodec());
  EXPECT_NE(method.DecodeMethodCall({7, 1, 'p', 128, 1, 0, 0, 0, 2, 0, 0, 0}),
            nullptr);
}

}  // namespace
}  // namespace codec_test
