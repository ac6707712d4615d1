// Plug-ins extend the codec with their own types: the extension must be
// used at any depth, and one codec instance serves each serializer.
#include <gtest/gtest.h>

#include <any>
#include <cstdint>
#include <vector>

#include "codec_test_util.h"

namespace codec_test {
namespace {

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

TEST(Extension, UsedAtAnyDepthWithOneCodecPerSerializer) {
  static const PointSerializer serializer;
  const auto& codec = flutter::StandardMessageCodec::GetInstance(&serializer);
  EXPECT_EQ(&codec, &flutter::StandardMessageCodec::GetInstance(&serializer));
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
  EXPECT_NE(method.DecodeMethodCall({7, 1, 'p', 128, 1, 0, 0, 0, 2, 0, 0, 0}),
            nullptr);
}

}  // namespace
}  // namespace codec_test
