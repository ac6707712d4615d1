// Detection quality on the dictionary words the models never saw, and the
// time one decision takes beside a bare key-by-key conversion.
// usage: repair_quality_bench [MODEL_DIR DICTIONARY_DIR]

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/layout_guess.h"
#include "core/text_utf.h"
#include "models/dictionary.h"

using namespace korvex_app;

namespace {

std::optional<LanguageModel> Load(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
  return LanguageModel::Load(bytes);
}

std::vector<std::u32string> HeldOut(const std::string& dic, const char* language) {
  std::vector<std::u32string> words;
  for (auto& word : ReadDictionary(dic, AlphabetFor(language))) {
    if (IsHeldOut(word)) {
      words.push_back(std::move(word));
    }
  }
  return words;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

double Percentile99(std::vector<double> values) {
  if (values.empty()) return 0;
  const size_t at = values.size() * 99 / 100;
  std::nth_element(values.begin(), values.begin() + at, values.end());
  return values[at];
}

}  // namespace

int main(int argc, char** argv) {
  const std::string models = argc > 2 ? argv[1] : KORVEX_MODEL_DIR;
  const std::string dictionaries = argc > 2 ? argv[2] : KORVEX_DICTIONARY_DIR;
  const auto english = Load(models + "/korvex_en.kvlm");
  const auto russian = Load(models + "/korvex_ru.kvlm");
  if (!english || !russian) {
    std::fprintf(stderr, "repair_quality_bench: no models in %s\n", models.c_str());
    return 1;
  }
  const LayoutGuesser guesser(&*english, &*russian);
  const KeyLayout us = UsLayout(), ru = RussianLayout();
  struct Language {
    const char* name;
    std::vector<std::u32string> words;
    const KeyLayout* own;
    const KeyLayout* other;
  } languages[] = {
      {"en", HeldOut(dictionaries + "/en_US.dic", "en"), &us, &ru},
      {"ru", HeldOut(dictionaries + "/ru_RU.dic", "ru"), &ru, &us},
  };
  std::vector<double> decide_ns, convert_ns;
  using Clock = std::chrono::steady_clock;
  std::printf("%-4s %9s %14s %9s %16s\n", "lang", "correct", "false repairs",
              "mistyped", "repaired");
  for (const Language& language : languages) {
    size_t correct = 0, false_repairs = 0, mistyped = 0, repaired = 0;
    for (const std::u32string& word : language.words) {
      if (word.size() >= 3) {
        ++correct;
        const auto start = Clock::now();
        const bool changed = guesser.Decide(word, *language.own, *language.other).has_value();
        decide_ns.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
        false_repairs += changed ? 1 : 0;
      }
      if (word.size() >= 4) {
        ++mistyped;
        const auto start = Clock::now();
        const std::u32string typed = ConvertKeys(word, *language.own, *language.other);
        convert_ns.push_back(std::chrono::duration<double, std::nano>(Clock::now() - start).count());
        const auto meant = guesser.Decide(typed, *language.other, *language.own);
        repaired += meant && *meant == word ? 1 : 0;
      }
    }
    std::printf("%-4s %9zu %7zu %5.2f %% %9zu %8zu %5.2f %%\n", language.name,
                correct, false_repairs,
                correct ? 100.0 * false_repairs / correct : 0.0, mistyped,
                repaired, mistyped ? 100.0 * repaired / mistyped : 0.0);
  }
  const double decide = Median(decide_ns), convert = Median(convert_ns);
  std::printf("decision per word: median %.2f us, p99 %.2f us; bare key-by-key "
              "conversion: median %.2f us; ratio %.1f\n",
              decide / 1000, Percentile99(decide_ns) / 1000, convert / 1000,
              convert > 0 ? decide / convert : 0.0);
  return 0;
}
