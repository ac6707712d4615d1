#ifndef KORVEX_NATIVE_BRIDGE_TEXT_CONVERSION_H_
#define KORVEX_NATIVE_BRIDGE_TEXT_CONVERSION_H_

#include <string>

// Whole-string conversions; invalid input becomes replacement characters.
std::string Utf8FromUtf16(const std::wstring& text);
std::wstring Utf16FromUtf8(const std::string& text);

#endif  // KORVEX_NATIVE_BRIDGE_TEXT_CONVERSION_H_
