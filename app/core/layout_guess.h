#ifndef KORVEX_APP_CORE_LAYOUT_GUESS_H_
#define KORVEX_APP_CORE_LAYOUT_GUESS_H_

// Whether a finished word was typed on the wrong layout, and what it was
// meant to be.

#include <optional>
#include <string>

#include "core/key_layouts.h"
#include "core/language_model.h"

namespace korvex_app {

// What the words before this one in the same field say: the language they
// were written in, whether the last of them had to be repaired, and how
// many agree (a single word of the other language does not turn it).
struct WordContext {
  int language = 0;  // primary language id
  bool repaired = false;
  int weight = 0;
};

class LayoutGuesser {
 public:
  // Either model may be missing; then nothing is ever repaired.
  LayoutGuesser(const LanguageModel* english, const LanguageModel* russian)
      : english_(english), russian_(russian) {}

  // The replacement for |typed|, everything between two blanks as the keys
  // produced it on |from|, or nothing when it is to stay. |next|, when
  // given, gets the context for the word after it: a word that could be
  // either leaves it as it was.
  std::optional<std::u32string> Decide(const std::u32string& typed,
                                       const KeyLayout& from,
                                       const KeyLayout& to,
                                       const WordContext& context = {},
                                       WordContext* next = nullptr) const;

 private:
  const LanguageModel* ModelFor(const KeyLayout& layout) const;
  // |sure|: the word stays and is clearly of the typed language.
  std::optional<std::u32string> Judge(const std::u32string& typed,
                                      const KeyLayout& from,
                                      const KeyLayout& to,
                                      const WordContext& context,
                                      bool* sure) const;

  const LanguageModel* english_;
  const LanguageModel* russian_;
};

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_LAYOUT_GUESS_H_
