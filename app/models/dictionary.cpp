#include "models/dictionary.h"

#include <fstream>

#include "core/text_transform.h"
#include "core/text_utf.h"

namespace korvex_app {

const char32_t* AlphabetFor(const std::string& language) {
  if (language == "en") {
    return U"abcdefghijklmnopqrstuvwxyz";
  }
  if (language == "ru") {
    return U"абвгдеёжзийклмнопрстуфхцчшщъыьэюя";
  }
  return nullptr;
}

const char32_t* InnerFor(const std::string& language) {
  return language == "en" ? U"'" : U"";
}

std::vector<std::u32string> ReadWordForms(const std::string& path) {
  std::vector<std::u32string> words;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    const std::u32string word =
        Utf32FromUtf8(line.substr(0, line.find_first_of("/\t \r")));
    const std::u32string lower = ToLower(word);
    if (word.size() > 1 && word == ToUpper(lower)) {
      continue;
    }
    if (!lower.empty()) {
      words.push_back(lower);
    }
  }
  return words;
}

}  // namespace korvex_app
