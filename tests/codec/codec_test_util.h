// Shared helpers for the codec tests and fuzz targets.
#ifndef KORVEX_TESTS_CODEC_CODEC_TEST_UTIL_H_
#define KORVEX_TESTS_CODEC_CODEC_TEST_UTIL_H_

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "flutter/encodable_value.h"
#include "flutter/method_result_functions.h"
#include "flutter/standard_message_codec.h"
#include "flutter/standard_method_codec.h"
#include "value_printer.h"

namespace codec_test {

using Bytes = std::vector<uint8_t>;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using V = flutter::EncodableValue;

inline const flutter::StandardMessageCodec& MessageCodec() {
  return flutter::StandardMessageCodec::GetInstance();
}
inline const flutter::StandardMethodCodec& MethodCodec() {
  return flutter::StandardMethodCodec::GetInstance();
}

inline Bytes Encode(const EncodableValue& value) { return *MessageCodec().EncodeMessage(value); }
// What |bytes| decode to as a message; nothing when they are refused.
inline std::optional<EncodableValue> Decoded(const Bytes& bytes) {
  auto value = MessageCodec().DecodeMessage(bytes);
  return value ? std::optional(std::move(*value)) : std::nullopt;
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// One value of every kind and shape, edges included, strictly increasing
// under EncodableValue's order: kind first, then value (so any int64 sorts
// after every int32, strings by unsigned bytes, and NaN, equal to itself,
// after every number, so that it can be a map key).
inline std::vector<EncodableValue> Samples() {
  using I32 = std::numeric_limits<int32_t>;
  using I64 = std::numeric_limits<int64_t>;
  using L = EncodableList;
  using M = EncodableMap;
  const double inf = std::numeric_limits<double>::infinity(), nan = std::nan("");
  return {V(), V(false), V(true), V(I32::min()), V(-1), V(0), V(5), V(I32::max()), V(I64::min()),
          V(int64_t{-4294967296}), V(int64_t{-100}), V(int64_t{0}), V(int64_t{1}), V(I64::max()),
          V(-inf), V(-1e308), V(-0.5), V(-0.0), V(4.9e-324), V(0.1), V(0.5), V(inf), V(nan),
          V(""), V("Gr\xC3\xBC\xC3\x9F" "e \xE6\x97\xA5 \xF0\x9F\x8E\xB9"), V("a"), V("ab"),
          V("b"), V(std::string("nul\0inside", 10)), V("z"), V("\xC3\xA9"),
          V(std::vector<uint8_t>{}), V(std::vector<uint8_t>{0}), V(std::vector<uint8_t>{0, 0}),
          V(std::vector<uint8_t>{0, 0x7F, 0x80, 0xFF}), V(std::vector<uint8_t>{1}),
          V(std::vector<int32_t>{I32::min(), -1, 0, 1}), V(std::vector<int32_t>{-1}),
          V(std::vector<int64_t>{}), V(std::vector<int64_t>{I64::min(), I64::max()}),
          V(std::vector<int64_t>{-1}), V(std::vector<double>{-1.0}),
          V(std::vector<double>{-1.0, 0.0}), V(std::vector<double>{-1.0, nan}),
          V(std::vector<double>{-0.5, 1e-300, inf}),
          V(L{}), V(L{V(1)}), V(L{V(1), V()}), V(L{V(2)}), V(L{V("a")}),
          // Doubles and typed lists at odd offsets inside containers.
          V(L{V("a"), V(1.25), V("abc"), V(std::vector<double>{2.5}), V(true),
              V(std::vector<float>{7.0f}), V(-8.0)}),
          V(M{}),
          V(M{{V("k"), V(9.75)},
              {V(L{V(2.5), V("x")}),
               V(M{{V(0.5), V(std::vector<int64_t>{3})}, {V(int64_t{-7}), V(L{})}})},
              {V(std::vector<uint8_t>{1, 2, 3}), V(M{})},
              {V(), V("null key")}}),
          V(M{{V(1), V(1)}}), V(M{{V(1), V(2)}}), V(M{{V(2), V(0)}}),
          V(std::vector<float>{}), V(std::vector<float>{-1.5f, 3.4e38f, 1e-45f}),
          V(std::vector<float>{2.0f})};
}

// What a MethodResult was told by DecodeAndProcessResponseEnvelope.
struct Outcome {
  int calls = 0;
  bool success = false, error = false, not_implemented = false;
  bool has_value = false;  // a non-null pointer came with the call
  EncodableValue value;    // success value or error details
  std::string code, message;
};

// Decodes |envelope|; |decoded| receives the codec's answer.
inline Outcome DecodeEnvelope(const Bytes& envelope, bool* decoded) {
  Outcome o;
  auto take = [&o](bool& kind, const EncodableValue* v) {
    ++o.calls;
    kind = true;
    o.has_value = v != nullptr;
    if (v) o.value = *v;
  };
  flutter::MethodResultFunctions<EncodableValue> result(
      [&](const EncodableValue* v) { take(o.success, v); },
      [&](const std::string& code, const std::string& message, const EncodableValue* details) {
        o.code = code;
        o.message = message;
        take(o.error, details);
      },
      [&]() { take(o.not_implemented, nullptr); });
  *decoded = MethodCodec().DecodeAndProcessResponseEnvelope(
      envelope.empty() ? nullptr : envelope.data(), envelope.size(), &result);
  return o;
}

}  // namespace codec_test

#endif  // KORVEX_TESTS_CODEC_CODEC_TEST_UTIL_H_
