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

std::vector<std::u32string> ReadDictionary(const std::string& path,
                                           const std::u32string& alphabet) {
  std::vector<std::u32string> words;
  std::ifstream file(path);
  std::string line;
  bool first = true;
  while (std::getline(file, line)) {
    if (first) {
      first = false;
      continue;  // the entry count
    }
    const std::u32string word =
        ToLower(Utf32FromUtf8(line.substr(0, line.find_first_of("/\t \r"))));
    bool usable = !word.empty();
    for (char32_t c : word) {
      usable = usable && alphabet.find(c) != std::u32string::npos;
    }
    if (usable) {
      words.push_back(word);
    }
  }
  return words;
}

}  // namespace korvex_app
