// Readable gtest output for EncodableValue (the default is a raw byte dump).
// Every test file includes this, so all of them print values the same way.
#ifndef KORVEX_TESTS_CODEC_VALUE_PRINTER_H_
#define KORVEX_TESTS_CODEC_VALUE_PRINTER_H_

#include <iomanip>
#include <ostream>
#include <vector>

#include "flutter/encodable_value.h"

namespace flutter {

inline void PrintTo(const EncodableValue& v, std::ostream* os) {
  auto elements = [os](const char* kind, const auto& items) {
    *os << kind << "[";
    for (size_t i = 0; i < items.size(); ++i) {
      *os << (i ? ", " : "") << +items[i];
    }
    *os << "]";
  };
  *os << std::setprecision(17);
  if (v.IsNull()) *os << "null";
  if (auto* b = std::get_if<bool>(&v)) *os << (*b ? "true" : "false");
  if (auto* i = std::get_if<int32_t>(&v)) *os << "i32 " << *i;
  if (auto* l = std::get_if<int64_t>(&v)) *os << "i64 " << *l;
  if (auto* d = std::get_if<double>(&v)) *os << "f64 " << *d;
  if (auto* s = std::get_if<std::string>(&v)) *os << '"' << *s << '"';
  if (auto* u8 = std::get_if<std::vector<uint8_t>>(&v)) elements("u8", *u8);
  if (auto* i32 = std::get_if<std::vector<int32_t>>(&v)) elements("i32", *i32);
  if (auto* i64 = std::get_if<std::vector<int64_t>>(&v)) elements("i64", *i64);
  if (auto* f64 = std::get_if<std::vector<double>>(&v)) elements("f64", *f64);
  if (auto* f32 = std::get_if<std::vector<float>>(&v)) elements("f32", *f32);
  if (std::holds_alternative<CustomEncodableValue>(v)) *os << "<custom>";
  if (auto* list = std::get_if<EncodableList>(&v)) {
    *os << "[";
    for (size_t i = 0; i < list->size(); ++i) {
      *os << (i ? ", " : "");
      PrintTo((*list)[i], os);
    }
    *os << "]";
  }
  if (auto* map = std::get_if<EncodableMap>(&v)) {
    const char* sep = "{";
    for (const auto& [key, value] : *map) {
      *os << sep;
      PrintTo(key, os);
      *os << ": ";
      PrintTo(value, os);
      sep = ", ";
    }
    *os << (map->empty() ? "{}" : "}");
  }
}

}  // namespace flutter

#endif  // KORVEX_TESTS_CODEC_VALUE_PRINTER_H_
