// Shared helpers for the codec tests.
#ifndef KORVEX_TESTS_CODEC_CODEC_TEST_UTIL_H_
#define KORVEX_TESTS_CODEC_CODEC_TEST_UTIL_H_

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
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

inline Bytes Encode(const EncodableValue& value) {
  return *MessageCodec().EncodeMessage(value);
}

inline void Append(Bytes* out, const Bytes& more) {
  out->insert(out->end(), more.begin(), more.end());
}

inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) Append(&out, p);
  return out;
}

// Raw little-endian images, written independently of the codec.
inline Bytes LE32(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}
inline Bytes LE64(uint64_t v) {
  Bytes b;
  for (int i = 0; i < 8; ++i) b.push_back(uint8_t(v >> (8 * i)));
  return b;
}
inline Bytes DoubleBytes(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, 8);
  return LE64(bits);
}
inline Bytes FloatBytes(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, 4);
  return LE32(bits);
}

// What a MethodResult was told by DecodeAndProcessResponseEnvelope.
struct Outcome {
  int calls = 0;
  bool success = false;
  bool error = false;
  bool not_implemented = false;
  bool has_value = false;  // a non-null pointer came with the call
  EncodableValue value;    // success value or error details
  std::string code;
  std::string message;
};

// Decodes |envelope|; |decoded| receives the codec's answer.
inline Outcome DecodeEnvelope(const Bytes& envelope, bool* decoded) {
  Outcome o;
  flutter::MethodResultFunctions<EncodableValue> result(
      [&o](const EncodableValue* v) {
        ++o.calls;
        o.success = true;
        o.has_value = v != nullptr;
        if (v) o.value = *v;
      },
      [&o](const std::string& code, const std::string& message,
           const EncodableValue* details) {
        ++o.calls;
        o.error = true;
        o.code = code;
        o.message = message;
        o.has_value = details != nullptr;
        if (details) o.value = *details;
      },
      [&o]() {
        ++o.calls;
        o.not_implemented = true;
      });
  *decoded = MethodCodec().DecodeAndProcessResponseEnvelope(
      envelope.empty() ? nullptr : envelope.data(), envelope.size(), &result);
  return o;
}

}  // namespace codec_test

#endif  // KORVEX_TESTS_CODEC_CODEC_TEST_UTIL_H_
