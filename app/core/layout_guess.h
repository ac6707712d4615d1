#ifndef KORVEX_APP_CORE_LAYOUT_GUESS_H_
#define KORVEX_APP_CORE_LAYOUT_GUESS_H_

// Whether a finished word was typed on the wrong layout, and what it was
// meant to be.

#include <optional>
#include <string>

#include "core/key_layouts.h"
#include "core/language_model.h"

namespace korvex_app {

class LayoutGuesser {
 public:
  // Either model may be missing; then nothing is ever repaired.
  LayoutGuesser(const LanguageModel* english, const LanguageModel* russian)
      : english_(english), russian_(russian) {}

  // The replacement for |typed| (as the keys produced it on |from|), or
  // nothing when it is to stay.
  std::optional<std::u32string> Decide(const std::u32string& typed,
                                       const KeyLayout& from,
                                       const KeyLayout& to) const;

  // How many more bits the typed word costs than the converted one before
  // a word of that many letters is repaired.
  static double Threshold(size_t letters);

 private:
  const LanguageModel* ModelFor(const KeyLayout& layout) const;

  const LanguageModel* english_;
  const LanguageModel* russian_;
};

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_LAYOUT_GUESS_H_
