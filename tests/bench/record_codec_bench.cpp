// Time per key record, sent as an event's success envelope: encoding it,
// decoding it as the application side does, and, measured alternately in
// the same run, decoding it with the copies the decode path used to make
// (every value once more as it was read, every list and map twice, and the
// whole result once more on the application side). Prints medians and the
// ratio of the two decodes.

#include <flutter/encodable_value.h>
#include <flutter/standard_codec_serializer.h>
#include <flutter/standard_method_codec.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "response_envelope.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;

constexpr int kRecordsPerRound = 20000;
constexpr int kRounds = 15;

// Kept observable, so that the work measured is not optimised away.
volatile size_t g_sink = 0;

EncodableValue KeyRecord() {
  return EncodableValue(EncodableMap{
      {EncodableValue("type"), EncodableValue("keyDown")},
      {EncodableValue("keycode"), EncodableValue(int32_t{65})},
      {EncodableValue("scan"), EncodableValue(int32_t{30})},
      {EncodableValue("repeat"), EncodableValue(false)},
      {EncodableValue("chars"), EncodableValue("a")},
      {EncodableValue("control"), EncodableValue(false)},
      {EncodableValue("shift"), EncodableValue(false)},
      {EncodableValue("alt"), EncodableValue(false)},
      {EncodableValue("meta"), EncodableValue(false)},
  });
}

// The old serializer's copies, made the way it made them: a conditional
// expression with a named value.
class CopyingSerializer : public flutter::StandardCodecSerializer {
 protected:
  EncodableValue ReadValueOfType(
      uint8_t type,
      flutter::ByteStreamReader* stream) const override {
    EncodableValue value = StandardCodecSerializer::ReadValueOfType(type, stream);
    if (value.index() == 10 || value.index() == 11) {
      EncodableValue container = stream->failed() ? EncodableValue() : value;
      return stream->failed() ? EncodableValue() : container;
    }
    return stream->failed() ? EncodableValue() : value;
  }
};

EncodableValue Decode(const flutter::StandardCodecSerializer& serializer,
                      const std::vector<uint8_t>& envelope) {
  flutter::internal::ResponseEnvelope decoded;
  flutter::internal::DecodeResponseEnvelope(serializer, envelope.data(),
                                            envelope.size(), &decoded);
  return std::move(decoded.value);
}

template <typename Body>
double NanosecondsPerRecord(Body&& body) {
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < kRecordsPerRound; ++i) {
    body();
  }
  const auto elapsed = std::chrono::steady_clock::now() - start;
  return std::chrono::duration<double, std::nano>(elapsed).count() /
         kRecordsPerRound;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  const EncodableValue record = KeyRecord();
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const auto& serializer = flutter::StandardCodecSerializer::GetInstance();
  const CopyingSerializer copying_serializer;
  const std::vector<uint8_t> envelope = *codec.EncodeSuccessEnvelope(&record);
  if (Decode(serializer, envelope) != record ||
      Decode(copying_serializer, envelope) != record) {
    std::fprintf(stderr, "the record does not survive a round trip\n");
    return 1;
  }

  std::vector<double> encode, decode, copying;
  for (int round = 0; round < kRounds; ++round) {
    encode.push_back(NanosecondsPerRecord([&] {
      g_sink = g_sink + codec.EncodeSuccessEnvelope(&record)->size();
    }));
    decode.push_back(NanosecondsPerRecord([&] {
      g_sink = g_sink + Decode(serializer, envelope).index();
    }));
    copying.push_back(NanosecondsPerRecord([&] {
      // The application side copied what MethodResult lent it.
      const EncodableValue lent = Decode(copying_serializer, envelope);
      const EncodableValue kept(lent);
      g_sink = g_sink + kept.index();
    }));
  }
  const double decode_ns = Median(decode);
  const double copying_ns = Median(copying);
  std::printf("key record: %zu bytes as an event envelope; %d records x %d "
              "rounds (medians)\n",
              envelope.size(), kRecordsPerRound, kRounds);
  std::printf("encode:                 %7.0f ns/record\n", Median(encode));
  std::printf("decode, moving:         %7.0f ns/record\n", decode_ns);
  std::printf("decode, copying (old):  %7.0f ns/record\n", copying_ns);
  std::printf("ratio copying/moving:   %7.2f\n", copying_ns / decode_ns);
  return 0;
}
