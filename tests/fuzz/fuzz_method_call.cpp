// Any bytes as a method call: same round-trip property as messages.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "flutter/standard_method_codec.h"
#include "fuzz_common.h"

using flutter::EncodableValue;
using flutter::MethodCall;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  auto call = codec.DecodeMethodCall(data, size);
  if (!call) return 0;
  fuzz::Check(call->arguments() != nullptr, "decoded call lacks arguments");
  auto bytes = codec.EncodeMethodCall(*call);
  auto again = codec.DecodeMethodCall(*bytes);
  fuzz::Check(again != nullptr, "re-encoded call does not decode");
  fuzz::Check(again->method_name() == call->method_name(), "name changed");
  fuzz::Check(*again->arguments() == *call->arguments(), "arguments changed");
  fuzz::Check(*codec.EncodeMethodCall(*again) == *bytes, "encoding not stable");
  return 0;
}
