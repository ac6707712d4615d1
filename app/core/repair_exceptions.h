#ifndef KORVEX_APP_CORE_REPAIR_EXCEPTIONS_H_
#define KORVEX_APP_CORE_REPAIR_EXCEPTIONS_H_

// What the user taught the repair: a word whose automatic repair was taken
// back stays as typed from then on, a word converted by hand is converted.
//
// File: one "keep WORD" or "convert WORD" line each, UTF-8, oldest first;
// lines of any other shape are skipped, so a damaged file teaches nothing.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvex_app {

class RepairExceptions {
 public:
  enum class Verdict { kKeep, kConvert };
  // Past this many words the oldest is forgotten.
  static constexpr size_t kCapacity = 2000;

  explicit RepairExceptions(size_t capacity = kCapacity) : capacity_(capacity) {}
  static RepairExceptions Parse(std::string_view text,
                                size_t capacity = kCapacity);
  std::string Format() const;

  // |word|: the word as typed, lower-case.
  std::optional<Verdict> Find(const std::u32string& word) const;
  // Makes |word| the newest.
  void Remember(const std::u32string& word, Verdict verdict);
  void Forget(const std::u32string& word);
  size_t size() const { return entries_.size(); }

 private:
  size_t capacity_;
  std::vector<std::pair<std::u32string, Verdict>> entries_;  // oldest first
};

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_REPAIR_EXCEPTIONS_H_
