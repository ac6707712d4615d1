#include "core/text_utf.h"

namespace korvex_app {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsContinuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

}  // namespace

std::u32string Utf32FromUtf8(const std::string& text) {
  std::u32string result;
  result.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    size_t length = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1;
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      code = lead & 0x1F;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      code = lead & 0x0F;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      code = lead & 0x07;
      minimum = 0x10000;
    } else {
      result.push_back(kReplacement);
      ++i;
      continue;
    }
    size_t taken = 1;
    while (taken < length && i + taken < text.size() &&
           IsContinuation(static_cast<unsigned char>(text[i + taken]))) {
      code = (code << 6) | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
      ++taken;
    }
    // Overlong forms, surrogates and values past U+10FFFF are not text.
    if (taken < length || code < minimum || code > 0x10FFFF ||
        (code >= 0xD800 && code <= 0xDFFF)) {
      result.push_back(kReplacement);
    } else {
      result.push_back(code);
    }
    i += taken;
  }
  return result;
}

std::string Utf8FromUtf32(const std::u32string& text) {
  std::string result;
  result.reserve(text.size());
  for (char32_t code : text) {
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
      code = kReplacement;
    }
    if (code < 0x80) {
      result.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
      result.push_back(static_cast<char>(0xC0 | (code >> 6)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
      result.push_back(static_cast<char>(0xE0 | (code >> 12)));
      result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
      result.push_back(static_cast<char>(0xF0 | (code >> 18)));
      result.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
      result.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
  }
  return result;
}

int Utf16Length(const std::u32string& text) {
  int units = 0;
  for (char32_t code : text) {
    units += code >= 0x10000 && code <= 0x10FFFF ? 2 : 1;
  }
  return units;
}

}  // namespace korvex_app
