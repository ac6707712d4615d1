// Builds a language model file from a hunspell dictionary, leaving out the
// evaluation's held-out words.
// usage: build_model en|ru DICTIONARY.dic OUTPUT

#include <cstdio>
#include <fstream>

#include "core/language_model.h"
#include "models/dictionary.h"

int main(int argc, char** argv) {
  const char32_t* alphabet = argc == 4 ? korvex_app::AlphabetFor(argv[1]) : nullptr;
  if (!alphabet) {
    std::fprintf(stderr, "usage: build_model en|ru DICTIONARY.dic OUTPUT\n");
    return 2;
  }
  std::vector<std::u32string> words;
  for (auto& word : korvex_app::ReadDictionary(argv[2], alphabet)) {
    if (!korvex_app::IsHeldOut(word)) {
      words.push_back(std::move(word));
    }
  }
  if (words.empty()) {
    std::fprintf(stderr, "build_model: no words in %s\n", argv[2]);
    return 1;
  }
  const auto bytes = korvex_app::LanguageModel::Build(alphabet, words);
  std::ofstream out(argv[3], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return out ? 0 : 1;
}
