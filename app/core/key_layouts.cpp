#include "core/key_layouts.h"

#include <algorithm>

#include "core/text_utf.h"

namespace korvex_app {

namespace {

KeyLayout Make(int lang_id, const char* chars, const char* shift_chars) {
  KeyLayout layout;
  layout.lang_id = lang_id;
  layout.chars = Utf32FromUtf8(chars);
  layout.shift_chars = Utf32FromUtf8(shift_chars);
  return layout;
}

bool IsComplete(const KeyLayout& layout) {
  return layout.chars.size() == kLayoutKeys &&
         layout.shift_chars.size() == kLayoutKeys;
}

// Position and Shift state of the key that types |c|, unshifted first.
bool FindKey(char32_t c, const KeyLayout& layout, size_t* position,
             bool* shift) {
  if (c == 0) {
    return false;
  }
  size_t found = layout.chars.find(c);
  if (found != std::u32string::npos) {
    *position = found;
    *shift = false;
    return true;
  }
  found = layout.shift_chars.find(c);
  if (found != std::u32string::npos) {
    *position = found;
    *shift = true;
    return true;
  }
  return false;
}

}  // namespace

KeyLayout UsLayout() {
  return Make(0x0409, "`1234567890-=qwertyuiop[]\\asdfghjkl;'zxcvbnm,./",
              "~!@#$%^&*()_+QWERTYUIOP{}|ASDFGHJKL:\"ZXCVBNM<>?");
}

KeyLayout RussianLayout() {
  return Make(0x0419, "ё1234567890-=йцукенгшщзхъ\\фывапролджэячсмитьбю.",
              "Ё!\"№;%:?*()_+ЙЦУКЕНГШЩЗХЪ/ФЫВАПРОЛДЖЭЯЧСМИТЬБЮ,");
}

std::vector<KeyLayout> ParseSystemLayouts(const flutter::EncodableValue& reply) {
  std::vector<KeyLayout> layouts;
  const auto* list = std::get_if<flutter::EncodableList>(&reply);
  if (!list) {
    return layouts;
  }
  for (const auto& item : *list) {
    const auto* map = std::get_if<flutter::EncodableMap>(&item);
    if (!map) {
      continue;
    }
    auto field = [map](const char* key) -> const flutter::EncodableValue* {
      auto found = map->find(flutter::EncodableValue(key));
      return found == map->end() ? nullptr : &found->second;
    };
    const auto* lang = field("langId") ? std::get_if<int32_t>(field("langId"))
                                       : nullptr;
    const auto* chars =
        field("chars") ? std::get_if<std::string>(field("chars")) : nullptr;
    const auto* shift = field("shiftChars")
                            ? std::get_if<std::string>(field("shiftChars"))
                            : nullptr;
    if (!lang || !chars || !shift) {
      continue;
    }
    KeyLayout layout;
    layout.lang_id = *lang & 0xFFFF;
    layout.chars = Utf32FromUtf8(*chars);
    layout.shift_chars = Utf32FromUtf8(*shift);
    if (IsComplete(layout)) {
      layouts.push_back(std::move(layout));
    }
  }
  return layouts;
}

LayoutPair ChooseLayouts(const std::vector<KeyLayout>& system) {
  const KeyLayout* first = nullptr;
  for (const KeyLayout& layout : system) {
    if (!IsComplete(layout)) {
      continue;
    }
    if (!first) {
      first = &layout;
    } else if (layout.primary_language() != first->primary_language()) {
      return LayoutPair{*first, layout};
    }
  }
  return LayoutPair{UsLayout(), RussianLayout()};
}

int CountTypable(const std::u32string& text, const KeyLayout& layout) {
  int count = 0;
  size_t position = 0;
  bool shift = false;
  for (char32_t c : text) {
    count += FindKey(c, layout, &position, &shift) ? 1 : 0;
  }
  return count;
}

std::u32string ConvertKeys(const std::u32string& text, const KeyLayout& from,
                           const KeyLayout& to) {
  std::u32string result;
  result.reserve(text.size());
  for (char32_t c : text) {
    size_t position = 0;
    bool shift = false;
    char32_t mapped = 0;
    if (FindKey(c, from, &position, &shift)) {
      const std::u32string& row = shift ? to.shift_chars : to.chars;
      mapped = position < row.size() ? row[position] : 0;
    }
    result.push_back(mapped != 0 ? mapped : c);
  }
  return result;
}

std::u32string NeighbourChars(char32_t c, const KeyLayout& layout) {
  // Where each row of the table starts: the digits, then three of letters.
  static constexpr int kRowStart[] = {0, 13, 26, 37, kLayoutKeys};
  size_t position = 0;
  bool shift = false;
  std::u32string near;
  if (!FindKey(c, layout, &position, &shift)) {
    return near;
  }
  const std::u32string& keys = shift ? layout.shift_chars : layout.chars;
  int row = 0;
  while (static_cast<int>(position) >= kRowStart[row + 1]) {
    ++row;
  }
  const int column = static_cast<int>(position) - kRowStart[row];
  for (int r = std::max(row - 1, 0); r <= std::min(row + 1, 3); ++r) {
    for (int k = column - 1; k <= column + 1; ++k) {
      if ((r != row || k != column) && k >= 0 && k < kRowStart[r + 1] - kRowStart[r] &&
          keys[kRowStart[r] + k] != 0) {
        near += keys[kRowStart[r] + k];
      }
    }
  }
  return near;
}

void OrderBySource(const std::u32string& text, const LayoutPair& pair,
                   const KeyLayout** from, const KeyLayout** to) {
  const bool second = CountTypable(text, pair.second) >
                      CountTypable(text, pair.first);
  *from = second ? &pair.second : &pair.first;
  *to = second ? &pair.first : &pair.second;
}

}  // namespace korvex_app
