#ifndef KORVEX_TESTS_APP_TEST_MODELS_H_
#define KORVEX_TESTS_APP_TEST_MODELS_H_

// The language models the build made from the dictionaries, if any.

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "core/language_model.h"
#include "core/layout_guess.h"

namespace korvex_app {

inline std::optional<LanguageModel> BuiltModel(const char* language) {
#ifdef KORVEX_MODEL_DIR
  std::ifstream file(std::string(KORVEX_MODEL_DIR) + "/korvex_" + language +
                         ".kvlm",
                     std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                             std::istreambuf_iterator<char>());
  return LanguageModel::Load(bytes);
#else
  (void)language;
  return std::nullopt;
#endif
}

// Both models and the guesser over them; no guesser without both.
struct BuiltGuesser {
  BuiltGuesser() : english(BuiltModel("en")), russian(BuiltModel("ru")) {
    if (english && russian) {
      guesser.emplace(&*english, &*russian);
    }
  }
  std::optional<LanguageModel> english, russian;
  std::optional<LayoutGuesser> guesser;
};

}  // namespace korvex_app

#endif  // KORVEX_TESTS_APP_TEST_MODELS_H_
