#include "core/layout_guess.h"

#include <algorithm>
#include <iterator>

#include "core/text_transform.h"

namespace korvex_app {

namespace {

// The word without what the typed layout gives as trailing punctuation.
size_t CoreLength(const std::u32string& lower, const LanguageModel& model) {
  size_t length = lower.size();
  while (length > 0 && !model.InAlphabet(lower[length - 1])) {
    --length;
  }
  return length;
}

// Two-letter words are told apart by these lists alone: the dictionaries
// hold too many abbreviations of that length.
bool IsShortWord(const std::u32string& word, const LanguageModel* model,
                 const LanguageModel* english) {
  static const char32_t* const kEnglish[] = {
      U"am", U"an", U"as", U"at", U"be", U"by", U"do", U"go", U"he", U"if",
      U"in", U"is", U"it", U"me", U"my", U"no", U"of", U"oh", U"ok", U"on",
      U"or", U"so", U"to", U"up", U"us", U"we"};
  static const char32_t* const kRussian[] = {
      U"бы", U"вы", U"да", U"до", U"ее", U"её", U"же", U"за", U"из", U"их",
      U"ли", U"мы", U"на", U"не", U"ни", U"но", U"ну", U"об", U"он", U"от",
      U"по", U"со", U"та", U"те", U"то", U"ты", U"уж"};
  if (model == english) {
    return std::find(std::begin(kEnglish), std::end(kEnglish), word) !=
           std::end(kEnglish);
  }
  return std::find(std::begin(kRussian), std::end(kRussian), word) !=
         std::end(kRussian);
}

}  // namespace

double LayoutGuesser::Threshold(size_t letters) {
  return letters <= 3 ? 14.0 : letters == 4 ? 9.0 : 6.0;
}

const LanguageModel* LayoutGuesser::ModelFor(const KeyLayout& layout) const {
  switch (layout.primary_language()) {
    case kEnglishLanguage:
      return english_;
    case kRussianLanguage:
      return russian_;
    default:
      return nullptr;
  }
}

std::optional<std::u32string> LayoutGuesser::Decide(
    const std::u32string& typed, const KeyLayout& from,
    const KeyLayout& to) const {
  const LanguageModel* typed_model = ModelFor(from);
  const LanguageModel* meant_model = ModelFor(to);
  if (!typed_model || !meant_model || typed_model == meant_model ||
      typed.size() < 2) {
    return std::nullopt;
  }
  for (char32_t c : typed) {
    if (IsDigit(c)) {
      return std::nullopt;
    }
  }
  const std::u32string lower = ToLower(typed);
  const size_t core = CoreLength(lower, *typed_model);
  // An apostrophe inside is part of an English word ("it's").
  std::u32string typed_core = lower.substr(0, core);
  typed_core.erase(std::remove(typed_core.begin(), typed_core.end(), U'\''),
                   typed_core.end());
  if (typed_core.empty() || IsShortWord(typed_core, typed_model, english_) ||
      (typed_core.size() > 2 && typed_model->Knows(typed_core))) {
    return std::nullopt;
  }
  // Candidates: every key converted ("руддщб" is "hello,"), and the
  // trailing punctuation kept as typed ("ghbdtn," is "привет,", not
  // "приветб"). Each is judged by its letters; a known word wins, then the
  // cheaper spelling per letter.
  struct Candidate {
    std::u32string text;
    std::u32string letters;
    std::optional<double> cost;
    bool known = false;
  };
  auto candidate = [&](std::u32string text) {
    Candidate result;
    const std::u32string lower_text = ToLower(text);
    result.letters = lower_text.substr(0, CoreLength(lower_text, *meant_model));
    result.text = std::move(text);
    result.cost = meant_model->Cost(result.letters);
    result.known = result.cost && meant_model->Knows(result.letters);
    return result;
  };
  Candidate best = candidate(ConvertKeys(typed, from, to));
  if (core < typed.size()) {
    Candidate kept = candidate(ConvertKeys(typed.substr(0, core), from, to) +
                               typed.substr(core));
    const bool better =
        kept.cost &&
        (!best.cost || (kept.known && !best.known) ||
         (kept.known == best.known &&
          *kept.cost / (kept.letters.size() + 1) <
              *best.cost / (best.letters.size() + 1)));
    if (better) {
      best = std::move(kept);
    }
  }
  if (!best.cost) {
    return std::nullopt;
  }
  const size_t letters = best.letters.size();
  if (letters < 3) {
    return IsShortWord(best.letters, meant_model, english_)
               ? std::optional(best.text)
               : std::nullopt;
  }
  if (best.known) {
    return best.text;
  }
  // A letter of another script inside the typed word: it cannot be a word
  // there at all.
  const std::optional<double> typed_cost = typed_model->Cost(typed_core);
  if (!typed_cost) {
    return best.text;
  }
  return *typed_cost - *best.cost > Threshold(letters)
             ? std::optional(best.text)
             : std::nullopt;
}

}  // namespace korvex_app
