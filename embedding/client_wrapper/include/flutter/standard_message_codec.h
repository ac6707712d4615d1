#ifndef FLUTTER_STANDARD_MESSAGE_CODEC_H_
#define FLUTTER_STANDARD_MESSAGE_CODEC_H_

#include <memory>
#include <vector>

#include "encodable_value.h"
#include "message_codec.h"
#include "standard_codec_serializer.h"

namespace flutter {

// The standard message codec, byte-compatible with the application side's.
class StandardMessageCodec : public MessageCodec<EncodableValue> {
 public:
  // One instance per serializer; null means the standard serializer.
  static const StandardMessageCodec& GetInstance(
      const StandardCodecSerializer* serializer = nullptr);
  ~StandardMessageCodec();
  StandardMessageCodec(StandardMessageCodec const&) = delete;
  StandardMessageCodec& operator=(StandardMessageCodec const&) = delete;

 protected:
  std::unique_ptr<EncodableValue> DecodeMessageInternal(
      const uint8_t* binary_message,
      const size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMessageInternal(
      const EncodableValue& message) const override;

 private:
  explicit StandardMessageCodec(const StandardCodecSerializer* serializer);
  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // FLUTTER_STANDARD_MESSAGE_CODEC_H_
