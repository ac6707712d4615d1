#ifndef KORVEX_APP_MODELS_DICTIONARY_H_
#define KORVEX_APP_MODELS_DICTIONARY_H_

// The word forms of a hunspell dictionary as its affix rules expand them
// (hunspell-tools' unmunch: one form a line), lower-cased. Abbreviations
// (all capitals) are left out: as words they would make every short
// wrong-layout spelling look valid.

#include <string>
#include <vector>

namespace korvex_app {

const char32_t* AlphabetFor(const std::string& language);  // "en", "ru"
// What may stand inside a word beside the letters ("don't").
const char32_t* InnerFor(const std::string& language);
std::vector<std::u32string> ReadWordForms(const std::string& path);

}  // namespace korvex_app

#endif  // KORVEX_APP_MODELS_DICTIONARY_H_
