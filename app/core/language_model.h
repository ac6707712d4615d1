#ifndef KORVEX_APP_CORE_LANGUAGE_MODEL_H_
#define KORVEX_APP_CORE_LANGUAGE_MODEL_H_

// A compact language model: letter trigram costs (bits, eighths) with word
// boundaries, and a set of 32-bit word hashes for the lookup, kept as their
// low halves in 65,536 buckets named by the high halves.
//
// File: "KVLM", version 2, alphabet size n (1..64), n code points (u32 LE),
// (n+1)^3 cost bytes, word count (u32 LE), 65,536 bucket sizes (u32 LE),
// then the low 16 bits of each hash (u16 LE), sorted within each bucket.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvex_app {

class LanguageModel {
 public:
  // Words are lower-case; the trigrams learn from those spelled in
  // |alphabet| alone, the set also keeps those with |inner| characters
  // inside ("don't", "кто-то").
  static std::vector<uint8_t> Build(const std::u32string& alphabet,
                                    const std::vector<std::u32string>& words,
                                    const std::u32string& inner = U"");
  // Nothing when |bytes| is not a whole model.
  static std::optional<LanguageModel> Load(const std::vector<uint8_t>& bytes);

  // Bits needed to spell |word| (lower-case) with its boundaries; nothing
  // when a letter is outside the alphabet or the word is empty.
  std::optional<double> Cost(const std::u32string& word) const;
  // |word| lower-case; "ё" is looked up as "е", the way it is often written.
  bool Knows(const std::u32string& word) const;
  bool InAlphabet(char32_t c) const { return Index(c) > 0; }
  const std::u32string& alphabet() const { return alphabet_; }
  size_t word_count() const { return low_.size(); }

 private:
  int Index(char32_t c) const;

  std::u32string alphabet_;
  std::vector<uint8_t> costs_;
  std::vector<uint32_t> bucket_end_;  // 65,536 running totals
  std::vector<uint16_t> low_;
};

// The form a word is stored and looked up in: "ё" as "е".
std::u32string WordKey(const std::u32string& lower);
uint32_t WordHash(const std::u32string& word);

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_LANGUAGE_MODEL_H_
