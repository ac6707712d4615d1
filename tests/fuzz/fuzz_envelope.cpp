// Any bytes as a reply: a refused envelope must not touch the result, an
// accepted one must call it exactly once, and what it reported must survive
// being encoded and decoded again.
#include <cstddef>
#include <cstdint>

#include "../codec/codec_test_util.h"
#include "fuzz_common.h"

using namespace codec_test;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  bool ok = false;
  const Outcome first = DecodeEnvelope(Bytes(data, data + size), &ok);
  fuzz::Check(first.calls == (ok ? 1 : 0) && !first.not_implemented,
              "result called wrongly");
  if (!ok) return 0;
  // A null value or null details are reported as absent, never as null.
  fuzz::Check(!first.has_value || !first.value.IsNull(),
              "null passed as value");

  const EncodableValue* value = first.has_value ? &first.value : nullptr;
  auto bytes = first.error ? MethodCodec().EncodeErrorEnvelope(
                                 first.code, first.message, value)
                           : MethodCodec().EncodeSuccessEnvelope(value);
  const Outcome second = DecodeEnvelope(*bytes, &ok);
  fuzz::Check(ok, "re-encoded envelope does not decode");
  fuzz::Check(
      second.calls == 1 && second.error == first.error &&
          second.code == first.code && second.message == first.message &&
          second.has_value == first.has_value && second.value == first.value,
      "reply changed");
  return 0;
}
