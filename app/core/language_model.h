#ifndef KORVEX_APP_CORE_LANGUAGE_MODEL_H_
#define KORVEX_APP_CORE_LANGUAGE_MODEL_H_

// A compact language model: letter trigram costs (bits, eighths) with word
// boundaries, and a sorted set of 32-bit word hashes for the lookup.
//
// File: "KVLM", version 1, alphabet size n (1..64), n code points (u32 LE),
// (n+1)^3 cost bytes, word count (u32 LE), sorted word hashes (u32 LE).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex_app {

class LanguageModel {
 public:
  // Words are lower-case; those with letters outside |alphabet| are skipped.
  static std::vector<uint8_t> Build(const std::u32string& alphabet,
                                    const std::vector<std::u32string>& words);
  // Nothing when |bytes| is not a whole model.
  static std::optional<LanguageModel> Load(const std::vector<uint8_t>& bytes);

  // Bits needed to spell |word| (lower-case) with its boundaries; nothing
  // when a letter is outside the alphabet or the word is empty.
  std::optional<double> Cost(const std::u32string& word) const;
  bool Knows(const std::u32string& word) const;
  bool InAlphabet(char32_t c) const { return Index(c) > 0; }

 private:
  int Index(char32_t c) const;

  std::u32string alphabet_;
  std::vector<uint8_t> costs_;
  std::vector<uint32_t> words_;
};

uint32_t WordHash(const std::u32string& word);
// The evaluation's words: kept out of every model.
bool IsHeldOut(const std::u32string& word);

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_LANGUAGE_MODEL_H_
