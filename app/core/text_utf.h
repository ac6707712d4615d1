#ifndef KORVEX_APP_CORE_TEXT_UTF_H_
#define KORVEX_APP_CORE_TEXT_UTF_H_

// Text as the channels carry it (UTF-8) and as the logic walks it (code
// points). Invalid input becomes U+FFFD, never an error.

#include <cstddef>
#include <string>

namespace korvex_app {

std::u32string Utf32FromUtf8(const std::string& text);
std::string Utf8FromUtf32(const std::u32string& text);
// What "backspace" counts: UTF-16 units.
int Utf16Length(const std::u32string& text);

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_TEXT_UTF_H_
