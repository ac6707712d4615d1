// Readable gtest output for EncodableValue (the default is a raw byte dump):
// a string as its text, any other value as its wire bytes.
#ifndef KORVEX_TESTS_CODEC_VALUE_PRINTER_H_
#define KORVEX_TESTS_CODEC_VALUE_PRINTER_H_

#include <cstdio>
#include <ostream>
#include <string>

#include "flutter/encodable_value.h"
#include "flutter/standard_message_codec.h"

namespace flutter {

inline void PrintTo(const EncodableValue& v, std::ostream* os) {
  if (const auto* text = std::get_if<std::string>(&v)) {
    *os << '"' << *text << '"';
    return;
  }
  const auto bytes = StandardMessageCodec::GetInstance().EncodeMessage(v);
  char hex[4];
  for (uint8_t byte : *bytes) {
    std::snprintf(hex, sizeof hex, "%02X ", byte);
    *os << hex;
  }
}

}  // namespace flutter

#endif  // KORVEX_TESTS_CODEC_VALUE_PRINTER_H_
