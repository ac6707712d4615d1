#ifndef KORVEX_APP_MODELS_DICTIONARY_H_
#define KORVEX_APP_MODELS_DICTIONARY_H_

// The words of a hunspell dictionary (".dic": a count, then "word/FLAGS"
// lines), lower-cased, kept when every letter is in the language's
// alphabet. Shared by the model builder and the quality benchmark.

#include <string>
#include <vector>

namespace korvex_app {

const char32_t* AlphabetFor(const std::string& language);  // "en", "ru"
std::vector<std::u32string> ReadDictionary(const std::string& path,
                                           const std::u32string& alphabet);

}  // namespace korvex_app

#endif  // KORVEX_APP_MODELS_DICTIONARY_H_
