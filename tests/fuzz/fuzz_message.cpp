// Any bytes: decode must not crash; what decodes must re-encode to bytes
// that decode to the same value and re-encode identically.
#include <cstddef>
#include <cstdint>

#include "flutter/standard_message_codec.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMessageCodec::GetInstance();
  auto value = codec.DecodeMessage(data, size);
  if (!value) return 0;
  auto bytes = codec.EncodeMessage(*value);
  auto again = codec.DecodeMessage(*bytes);
  fuzz::Check(again != nullptr, "re-encoded message does not decode");
  fuzz::Check(*again == *value, "value changed");
  fuzz::Check(*codec.EncodeMessage(*again) == *bytes, "encoding not stable");
  return 0;
}
