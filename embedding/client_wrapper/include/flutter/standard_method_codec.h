#ifndef FLUTTER_STANDARD_METHOD_CODEC_H_
#define FLUTTER_STANDARD_METHOD_CODEC_H_

#include <memory>
#include <string>
#include <vector>

#include "encodable_value.h"
#include "method_call.h"
#include "method_codec.h"
#include "standard_codec_serializer.h"

namespace flutter {

// The standard method codec, byte-compatible with the application side's.
class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  // One instance per serializer; null means the standard serializer.
  static const StandardMethodCodec& GetInstance(
      const StandardCodecSerializer* serializer = nullptr);
  ~StandardMethodCodec();
  StandardMethodCodec(StandardMethodCodec const&) = delete;
  StandardMethodCodec& operator=(StandardMethodCodec const&) = delete;

 protected:
  std::unique_ptr<MethodCall<EncodableValue>> DecodeMethodCallInternal(
      const uint8_t* message,
      size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
      const MethodCall<EncodableValue>& method_call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelopeInternal(
      const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelopeInternal(
      const std::string& error_code,
      const std::string& error_message,
      const EncodableValue* error_details) const override;
  bool DecodeAndProcessResponseEnvelopeInternal(
      const uint8_t* response,
      size_t response_size,
      MethodResult<EncodableValue>* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);
  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter

#endif  // FLUTTER_STANDARD_METHOD_CODEC_H_
