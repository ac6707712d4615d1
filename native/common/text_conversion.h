#ifndef KORVEX_NATIVE_COMMON_TEXT_CONVERSION_H_
#define KORVEX_NATIVE_COMMON_TEXT_CONVERSION_H_

#include <cstddef>
#include <string>

// Whole-string conversions; invalid input becomes replacement characters.
std::string Utf8FromUtf16(const std::wstring& text);
std::wstring Utf16FromUtf8(const std::string& text);

// The text before the first NUL of a buffer of |units| units, never read
// past it (buffers filled by the system need not hold a terminator).
std::wstring TextWithin(const wchar_t* text, size_t units);

#endif  // KORVEX_NATIVE_COMMON_TEXT_CONVERSION_H_
