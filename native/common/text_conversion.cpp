#include "common/text_conversion.h"

#include <windows.h>

#include <climits>

std::string Utf8FromUtf16(const std::wstring& text) {
  if (text.empty() || text.size() > INT_MAX) {
    return std::string();
  }
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length,
                                       nullptr, 0, nullptr, nullptr);
  if (size <= 0) {
    return std::string();
  }
  std::string result(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &result[0], size,
                          nullptr, nullptr) != size) {
    return std::string();
  }
  return result;
}

std::wstring Utf16FromUtf8(const std::string& text) {
  if (text.empty() || text.size() > INT_MAX) {
    return std::wstring();
  }
  const int length = static_cast<int>(text.size());
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  if (size <= 0) {
    return std::wstring();
  }
  std::wstring result(static_cast<size_t>(size), L'\0');
  if (MultiByteToWideChar(CP_UTF8, 0, text.data(), length, &result[0],
                          size) != size) {
    return std::wstring();
  }
  return result;
}

std::wstring TextWithin(const wchar_t* text, size_t units) {
  if (!text) {
    return std::wstring();
  }
  size_t length = 0;
  while (length < units && text[length] != L'\0') {
    ++length;
  }
  return std::wstring(text, length);
}
