// Any bytes, as a message, a method call or a reply (one target each; see
// CMakeLists.txt): decoding must not crash, and what decodes must survive
// being encoded and decoded again unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "../codec/codec_test_util.h"

using namespace codec_test;

namespace {
void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "round trip failed: %s\n", what);
  std::abort();
}
}  // namespace

// The codec logs every unknown tag to std::cerr; at fuzzing rates that is
// gigabytes of noise. libFuzzer's own reports do not go through std::cerr.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::cerr.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
#if defined(FUZZ_MESSAGE)
  auto value = MessageCodec().DecodeMessage(data, size);
  if (!value) return 0;
  auto bytes = MessageCodec().EncodeMessage(*value);
  auto again = MessageCodec().DecodeMessage(*bytes);
  Check(again && *again == *value, "re-encoded message does not decode as before");
  Check(*MessageCodec().EncodeMessage(*again) == *bytes, "encoding not stable");
#elif defined(FUZZ_METHOD_CALL)
  auto call = MethodCodec().DecodeMethodCall(data, size);
  if (!call) return 0;
  Check(call->arguments() != nullptr, "decoded call lacks arguments");
  auto bytes = MethodCodec().EncodeMethodCall(*call);
  auto again = MethodCodec().DecodeMethodCall(*bytes);
  Check(again && again->method_name() == call->method_name() &&
            *again->arguments() == *call->arguments(),
        "re-encoded call does not decode as before");
  Check(*MethodCodec().EncodeMethodCall(*again) == *bytes, "encoding not stable");
#elif defined(FUZZ_ENVELOPE)
  // A refused envelope must not touch the result, an accepted one must call
  // it exactly once; a null value or null details are reported as absent.
  bool ok = false;
  const Outcome first = DecodeEnvelope(Bytes(data, data + size), &ok);
  Check(first.calls == (ok ? 1 : 0) && !first.not_implemented, "result called wrongly");
  if (!ok) return 0;
  Check(!first.has_value || !first.value.IsNull(), "null passed as value");
  const EncodableValue* value = first.has_value ? &first.value : nullptr;
  auto bytes = first.error ? MethodCodec().EncodeErrorEnvelope(first.code, first.message, value)
                           : MethodCodec().EncodeSuccessEnvelope(value);
  const Outcome second = DecodeEnvelope(*bytes, &ok);
  Check(ok && second.calls == 1 && second.error == first.error && second.code == first.code &&
            second.message == first.message && second.has_value == first.has_value &&
            second.value == first.value,
        "reply refused or changed");
#endif
  return 0;
}
