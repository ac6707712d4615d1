#ifndef KORVEX_APP_CORE_KEY_LAYOUTS_H_
#define KORVEX_APP_CORE_KEY_LAYOUTS_H_

// What the 47 character keys type in a layout, without and with Shift, and
// the key-by-key mapping of text from one layout to another.

#include <flutter/encodable_value.h>

#include <string>
#include <vector>

namespace korvex_app {

constexpr int kLayoutKeys = 47;
constexpr int kEnglishLanguage = 0x09;
constexpr int kRussianLanguage = 0x19;

struct KeyLayout {
  int lang_id = 0;
  std::u32string chars;        // kLayoutKeys units, 0 where a key types nothing
  std::u32string shift_chars;  // the same with Shift

  int primary_language() const { return lang_id & 0x3FF; }
};

KeyLayout UsLayout();
KeyLayout RussianLayout();

// The reply of "systemLayouts"; entries of another shape are left out.
std::vector<KeyLayout> ParseSystemLayouts(const flutter::EncodableValue& reply);

struct LayoutPair {
  KeyLayout first;
  KeyLayout second;
};

// The first two layouts of distinct languages, in the order given; the
// built-in US and Russian tables when the system lists fewer.
LayoutPair ChooseLayouts(const std::vector<KeyLayout>& system);

// How many characters of |text| some key of |layout| types.
int CountTypable(const std::u32string& text, const KeyLayout& layout);

// |text| as the same keys type it on |to|; characters no key of |from|
// types stay as they are.
std::u32string ConvertKeys(const std::u32string& text, const KeyLayout& from,
                           const KeyLayout& to);

// What the keys around the one that types |c| type on |layout|, in the
// same Shift state (the rows taken as if unstaggered); empty when no key
// types |c|.
std::u32string NeighbourChars(char32_t c, const KeyLayout& layout);

// The pair's member |text| was most likely typed on, and the other one.
void OrderBySource(const std::u32string& text, const LayoutPair& pair,
                   const KeyLayout** from, const KeyLayout** to);

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_KEY_LAYOUTS_H_
