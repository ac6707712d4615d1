#include "core/text_transform.h"

#include <utility>

namespace korvex_app {

namespace {

// Longest Latin spelling first, so "shch" wins over "sh".
const std::pair<const char32_t*, const char32_t*> kLatinToCyrillic[] = {
    {U"shch", U"щ"}, {U"zh", U"ж"}, {U"kh", U"х"}, {U"ts", U"ц"},
    {U"ch", U"ч"},   {U"sh", U"ш"}, {U"yu", U"ю"}, {U"ya", U"я"},
    {U"yo", U"ё"},   {U"je", U"э"}, {U"a", U"а"},  {U"b", U"б"},
    {U"v", U"в"},    {U"g", U"г"},  {U"d", U"д"},  {U"e", U"е"},
    {U"z", U"з"},    {U"i", U"и"},  {U"j", U"й"},  {U"k", U"к"},
    {U"l", U"л"},    {U"m", U"м"},  {U"n", U"н"},  {U"o", U"о"},
    {U"p", U"п"},    {U"r", U"р"},  {U"s", U"с"},  {U"t", U"т"},
    {U"u", U"у"},    {U"f", U"ф"},  {U"h", U"х"},  {U"c", U"ц"},
    {U"y", U"ы"},    {U"w", U"в"},  {U"x", U"кс"}, {U"q", U"к"},
    {U"'", U"ь"},    {U"\"", U"ъ"},
};

const char32_t* CyrillicToLatin(char32_t lower) {
  static const char32_t* const kTable[] = {
      U"a",  U"b",    U"v",  U"g",  U"d", U"e", U"zh", U"z",
      U"i",  U"j",    U"k",  U"l",  U"m", U"n", U"o",  U"p",
      U"r",  U"s",    U"t",  U"u",  U"f", U"kh", U"ts", U"ch",
      U"sh", U"shch", U"\"", U"y",  U"'", U"je", U"yu", U"ya"};
  if (lower >= U'а' && lower <= U'я') {
    return kTable[lower - U'а'];
  }
  return lower == U'ё' ? U"yo" : nullptr;
}

bool StartsWithFolded(const std::u32string& text, size_t at,
                      const char32_t* prefix) {
  for (size_t i = 0; prefix[i] != 0; ++i) {
    if (at + i >= text.size() || ToLower(text[at + i]) != prefix[i]) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool IsLatinLetter(char32_t c) {
  return (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
}

bool IsCyrillicLetter(char32_t c) {
  return (c >= 0x0400 && c <= 0x045F);
}

bool IsLetter(char32_t c) {
  return IsLatinLetter(c) || IsCyrillicLetter(c) ||
         (c >= 0xC0 && c <= 0x24F && c != 0xD7 && c != 0xF7);
}

bool IsDigit(char32_t c) {
  return c >= U'0' && c <= U'9';
}

char32_t ToLower(char32_t c) {
  if ((c >= U'A' && c <= U'Z') || (c >= U'А' && c <= U'Я') ||
      (c >= 0xC0 && c <= 0xDE && c != 0xD7)) {
    return c + 0x20;
  }
  if (c >= 0x0400 && c <= 0x040F) {
    return c + 0x50;
  }
  return c;
}

char32_t ToUpper(char32_t c) {
  if ((c >= U'a' && c <= U'z') || (c >= U'а' && c <= U'я') ||
      (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
    return c - 0x20;
  }
  if (c >= 0x0450 && c <= 0x045F) {
    return c - 0x50;
  }
  return c;
}

std::u32string ToLower(const std::u32string& text) {
  std::u32string result(text);
  for (char32_t& c : result) {
    c = ToLower(c);
  }
  return result;
}

std::u32string ToUpper(const std::u32string& text) {
  std::u32string result(text);
  for (char32_t& c : result) {
    c = ToUpper(c);
  }
  return result;
}

std::u32string Transliterate(const std::u32string& text) {
  bool cyrillic = false;
  for (char32_t c : text) {
    cyrillic = cyrillic || IsCyrillicLetter(c);
  }
  std::u32string result;
  result.reserve(text.size() * 2);
  size_t i = 0;
  while (i < text.size()) {
    const char32_t c = text[i];
    const bool upper = ToLower(c) != c;
    if (cyrillic) {
      const char32_t* latin = CyrillicToLatin(ToLower(c));
      if (!latin) {
        result.push_back(c);
      } else {
        // A capital becomes a capital first letter ("Ж" is "Zh").
        for (size_t k = 0; latin[k] != 0; ++k) {
          result.push_back(upper && k == 0 ? ToUpper(latin[k]) : latin[k]);
        }
      }
      ++i;
      continue;
    }
    bool matched = false;
    for (const auto& [latin, cyr] : kLatinToCyrillic) {
      if (StartsWithFolded(text, i, latin)) {
        for (size_t k = 0; cyr[k] != 0; ++k) {
          result.push_back(upper && k == 0 ? ToUpper(cyr[k]) : cyr[k]);
        }
        i += std::char_traits<char32_t>::length(latin);
        matched = true;
        break;
      }
    }
    if (!matched) {
      result.push_back(c);
      ++i;
    }
  }
  return result;
}

}  // namespace korvex_app
