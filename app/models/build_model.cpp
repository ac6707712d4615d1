// Builds a language model file from a hunspell dictionary's word forms and
// says what it holds, what it weighs and how long it took.
// usage: build_model en|ru DICTIONARY.dic AFFIXES.aff OUTPUT

#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>

#include "core/language_model.h"
#include "models/dictionary.h"

int main(int argc, char** argv) {
  const auto start = std::chrono::steady_clock::now();
  const char32_t* alphabet = argc == 5 ? korvex_app::AlphabetFor(argv[1]) : nullptr;
  if (!alphabet) {
    std::fprintf(stderr, "usage: build_model en|ru DICTIONARY.dic AFFIXES.aff OUTPUT\n");
    return 2;
  }
  const std::vector<std::u32string> words =
      korvex_app::ExpandDictionary(argv[2], argv[3]);
  if (words.empty()) {
    std::fprintf(stderr, "build_model: no words in %s\n", argv[2]);
    return 1;
  }
  const auto bytes =
      korvex_app::LanguageModel::Build(alphabet, words, korvex_app::InnerFor(argv[1]));
  std::ofstream out(argv[4], std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    return 1;
  }
  // The set's false positives, measured on random spellings of 6 letters.
  const auto model = korvex_app::LanguageModel::Load(bytes);
  const std::u32string letters(alphabet);
  std::mt19937 random(1);
  int probes = 0, hits = 0;
  for (int i = 0; i < 200000; ++i) {
    std::u32string word;
    for (int j = 0; j < 6; ++j) {
      word += letters[random() % letters.size()];
    }
    ++probes;
    hits += model && model->Knows(word) ? 1 : 0;
  }
  std::printf("model %s: %zu forms made, %zu in the set, %.2f MB, "
              "%.3f %% of random spellings taken for words, built in %.2f s\n",
              argv[1], words.size(), model ? model->word_count() : 0,
              bytes.size() / 1e6, 100.0 * hits / probes,
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return 0;
}
