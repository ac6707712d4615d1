#ifndef KORVEX_TESTS_APP_TEST_MODELS_H_
#define KORVEX_TESTS_APP_TEST_MODELS_H_

// The language models the build made from the dictionaries, if any, and the
// guesser over them (none without both).

#include <fstream>
#include <iterator>
#include <optional>
#include <string>

#include "core/language_model.h"
#include "core/layout_guess.h"

namespace korvex_app {

inline std::optional<LanguageModel> BuiltModel([[maybe_unused]] const char* language) {
#ifdef KORVEX_MODEL_DIR
  std::ifstream file(std::string(KORVEX_MODEL_DIR) + "/korvex_" + language + ".kvlm",
                     std::ios::binary);
  return LanguageModel::Load(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}));
#else
  return std::nullopt;
#endif
}

struct BuiltGuesser {
  BuiltGuesser() : english(BuiltModel("en")), russian(BuiltModel("ru")) {
    if (english && russian) guesser.emplace(&*english, &*russian);
  }
  std::optional<LanguageModel> english, russian;
  std::optional<LayoutGuesser> guesser;
};

// Loaded once for the whole program: the models take a while to load.
inline const BuiltGuesser& Built() {
  static const BuiltGuesser built;
  return built;
}
inline const LayoutGuesser* BuiltLayoutGuesser() {
  return Built().guesser ? &*Built().guesser : nullptr;
}

}  // namespace korvex_app

#endif  // KORVEX_TESTS_APP_TEST_MODELS_H_
