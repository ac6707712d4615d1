#ifndef KORVEX_APP_MODELS_DICTIONARY_H_
#define KORVEX_APP_MODELS_DICTIONARY_H_

// Every word form of a hunspell dictionary: the ".dic" stems with the
// prefixes and suffixes their flags allow in the ".aff" file (single-letter
// flags, "PFX"/"SFX" rules with strip, add and condition, cross products),
// lower-cased. Abbreviations (all capitals) are left out: as words they
// would make every short wrong-layout spelling look valid.

#include <string>
#include <vector>

namespace korvex_app {

const char32_t* AlphabetFor(const std::string& language);  // "en", "ru"
// What may stand inside a word beside the letters ("don't").
const char32_t* InnerFor(const std::string& language);
std::vector<std::u32string> ExpandDictionary(const std::string& dic_path,
                                             const std::string& aff_path);

}  // namespace korvex_app

#endif  // KORVEX_APP_MODELS_DICTIONARY_H_
