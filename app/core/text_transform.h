#ifndef KORVEX_APP_CORE_TEXT_TRANSFORM_H_
#define KORVEX_APP_CORE_TEXT_TRANSFORM_H_

// The hot keys' transformations and the letter classes the rest relies on,
// for Latin and Cyrillic (other scripts pass through unchanged).

#include <string>

namespace korvex_app {

bool IsLatinLetter(char32_t c);
bool IsCyrillicLetter(char32_t c);
bool IsLetter(char32_t c);
bool IsDigit(char32_t c);
char32_t ToLower(char32_t c);
char32_t ToUpper(char32_t c);
std::u32string ToLower(const std::u32string& text);
std::u32string ToUpper(const std::u32string& text);

// Latin to Cyrillic when |text| holds no Cyrillic letter, else Cyrillic to
// Latin; letter case is kept.
std::u32string Transliterate(const std::u32string& text);

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_TEXT_TRANSFORM_H_
