#include "layouts/layout_tables.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "common/text_conversion.h"
#include "injection/layout_switch.h"

using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

// ToUnicodeEx flag: leave the keyboard state, so a dead key leaves nothing
// pending for the user's next key.
constexpr UINT kKeepKeyboardState = 4;
constexpr int kCharBufferUnits = 8;

}  // namespace

LayoutKeyFunctions layout_key_functions = {MapVirtualKeyExW, ToUnicodeEx};

wchar_t CharForScanCode(UINT scan_code, bool shift, HKL layout) {
  const UINT vk = layout_key_functions.map_virtual_key_ex(
      scan_code, MAPVK_VSC_TO_VK_EX, layout);
  if (vk == 0) {
    return 0;
  }
  BYTE state[256] = {};
  if (shift) {
    state[VK_SHIFT] = 0x80;
  }
  wchar_t buffer[kCharBufferUnits] = {};
  const int written = layout_key_functions.to_unicode_ex(
      vk, scan_code, state, buffer, kCharBufferUnits, kKeepKeyboardState,
      layout);
  if (written < 1) {
    return 0;
  }
  return buffer[std::min(written, kCharBufferUnits) - 1];
}

flutter::EncodableList BuildLayoutTables() {
  flutter::EncodableList tables;
  const int count = layout_functions.get_keyboard_layout_list(0, nullptr);
  if (count < 1) {
    return tables;
  }
  std::vector<HKL> layouts(static_cast<size_t>(count));
  const int fetched =
      layout_functions.get_keyboard_layout_list(count, layouts.data());
  layouts.resize(static_cast<size_t>(std::clamp(fetched, 0, count)));

  HWND foreground = GetForegroundWindow();
  const HKL current = layout_functions.get_keyboard_layout(
      foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0);
  auto found = std::find(layouts.begin(), layouts.end(), current);
  if (found != layouts.end()) {
    std::rotate(layouts.begin(), found, found + 1);
  }

  for (HKL layout : layouts) {
    std::wstring chars;
    std::wstring shift_chars;
    for (UINT scan_code : kCharacterKeyScanCodes) {
      chars += CharForScanCode(scan_code, false, layout);
      shift_chars += CharForScanCode(scan_code, true, layout);
    }
    const auto language_id = static_cast<int32_t>(
        reinterpret_cast<uintptr_t>(layout) & 0xFFFFu);
    tables.push_back(EncodableValue(EncodableMap{
        {EncodableValue("langId"), EncodableValue(language_id)},
        {EncodableValue("chars"), EncodableValue(Utf8FromUtf16(chars))},
        {EncodableValue("shiftChars"),
         EncodableValue(Utf8FromUtf16(shift_chars))},
    }));
  }
  return tables;
}
