#include "core/repair_exceptions.h"

#include <algorithm>

#include "core/text_utf.h"

namespace korvex_app {

namespace {

constexpr std::string_view kKeep = "keep ";
constexpr std::string_view kConvert = "convert ";

// A word is what lies between two blanks: nothing blank or invisible.
bool IsWord(const std::u32string& word) {
  return !word.empty() &&
         std::none_of(word.begin(), word.end(), [](char32_t c) {
           return c <= U' ' || c == 0x7F || c == 0xFFFD;
         });
}

}  // namespace

RepairExceptions RepairExceptions::Parse(std::string_view text,
                                         size_t capacity) {
  RepairExceptions exceptions(capacity);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view()
                                         : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
    }
    const bool keep = line.substr(0, kKeep.size()) == kKeep;
    if (!keep && line.substr(0, kConvert.size()) != kConvert) {
      continue;
    }
    const std::u32string word = Utf32FromUtf8(
        std::string(line.substr(keep ? kKeep.size() : kConvert.size())));
    if (IsWord(word)) {
      exceptions.Remember(word, keep ? Verdict::kKeep : Verdict::kConvert);
    }
  }
  return exceptions;
}

std::string RepairExceptions::Format() const {
  std::string text;
  for (const auto& [word, verdict] : entries_) {
    text += verdict == Verdict::kKeep ? kKeep : kConvert;
    text += Utf8FromUtf32(word);
    text += '\n';
  }
  return text;
}

std::optional<RepairExceptions::Verdict> RepairExceptions::Find(
    const std::u32string& word) const {
  for (const auto& [known, verdict] : entries_) {
    if (known == word) {
      return verdict;
    }
  }
  return std::nullopt;
}

void RepairExceptions::Remember(const std::u32string& word, Verdict verdict) {
  if (!IsWord(word) || capacity_ == 0) {
    return;
  }
  Forget(word);
  if (entries_.size() >= capacity_) {
    entries_.erase(entries_.begin(),
                   entries_.begin() + (entries_.size() - capacity_ + 1));
  }
  entries_.emplace_back(word, verdict);
}

void RepairExceptions::Forget(const std::u32string& word) {
  std::erase_if(entries_, [&](const auto& entry) { return entry.first == word; });
}

}  // namespace korvex_app
