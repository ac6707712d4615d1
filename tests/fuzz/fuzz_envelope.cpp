// Any bytes as a reply: a refused envelope must not touch the result, an
// accepted one must call it exactly once, and what it reported must survive
// being encoded and decoded again.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "flutter/method_result_functions.h"
#include "flutter/standard_method_codec.h"
#include "fuzz_common.h"

using flutter::EncodableValue;

namespace {

struct Reply {
  int calls = 0;
  bool error = false;
  std::string code;
  std::string message;
  std::optional<EncodableValue> value;  // success value or error details
};

bool Decode(const uint8_t* data, size_t size, Reply* reply) {
  flutter::MethodResultFunctions<EncodableValue> result(
      [reply](const EncodableValue* v) {
        ++reply->calls;
        if (v) reply->value = *v;
      },
      [reply](const std::string& code, const std::string& message,
              const EncodableValue* details) {
        ++reply->calls;
        reply->error = true;
        reply->code = code;
        reply->message = message;
        if (details) reply->value = *details;
      },
      []() { fuzz::Fail("codec reported not implemented"); });
  return flutter::StandardMethodCodec::GetInstance()
      .DecodeAndProcessResponseEnvelope(data, size, &result);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  Reply first;
  const bool ok = Decode(data, size, &first);
  fuzz::Check(first.calls == (ok ? 1 : 0), "result called wrongly");
  if (!ok) return 0;
  // A null value or null details are reported as absent, never as null.
  fuzz::Check(!first.value || !first.value->IsNull(), "null passed as value");

  const EncodableValue* value = first.value ? &*first.value : nullptr;
  auto bytes = first.error
                   ? codec.EncodeErrorEnvelope(first.code, first.message, value)
                   : codec.EncodeSuccessEnvelope(value);
  Reply second;
  fuzz::Check(Decode(bytes->data(), bytes->size(), &second),
              "re-encoded envelope does not decode");
  fuzz::Check(second.calls == 1 && second.error == first.error &&
                  second.code == first.code && second.message == first.message &&
                  second.value.has_value() == first.value.has_value(),
              "reply changed");
  if (value) {
    fuzz::Check(*second.value == *value, "reply value changed");
  }
  return 0;
}
