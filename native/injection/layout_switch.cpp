#include "injection/layout_switch.h"

#include <vector>

namespace {

constexpr int kSwitchPolls = 25;
constexpr DWORD kSwitchPollMs = 10;

}  // namespace

KeyboardLayoutFunctions layout_functions = {
    GetKeyboardLayoutList,
    GetKeyboardLayout,
    VkKeyScanExW,
    PostMessageW,
};

bool IsTypeableScan(SHORT scan) {
  const auto bits = static_cast<uint16_t>(scan);
  return bits != 0xFFFF && ((bits >> 8) & 0xF8) == 0;
}

int CountTypeableChars(const std::wstring& text, HKL layout) {
  int count = 0;
  for (wchar_t unit : text) {
    if (IsTypeableScan(layout_functions.vk_key_scan_ex(unit, layout))) {
      ++count;
    }
  }
  return count;
}

HWND FocusedControlOf(HWND window, DWORD thread_id) {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (GetGUIThreadInfo(thread_id, &info) && info.hwndFocus) {
    return info.hwndFocus;
  }
  return window;
}

HKL SelectLayoutForText(const std::wstring& text) {
  HWND foreground = GetForegroundWindow();
  const DWORD thread_id =
      foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  const HKL current = layout_functions.get_keyboard_layout(thread_id);

  const int count = layout_functions.get_keyboard_layout_list(0, nullptr);
  if (count < 1) {
    return current;
  }
  std::vector<HKL> layouts(static_cast<size_t>(count));
  const int fetched =
      layout_functions.get_keyboard_layout_list(count, layouts.data());
  if (fetched < 1) {
    return current;
  }
  layouts.resize(static_cast<size_t>(fetched < count ? fetched : count));

  HKL best = current;
  int best_score = CountTypeableChars(text, current);
  for (HKL layout : layouts) {
    if (layout == current) {
      continue;
    }
    const int score = CountTypeableChars(text, layout);
    if (score > best_score) {
      best = layout;
      best_score = score;
    }
  }
  if (best == current || !foreground) {
    return current;
  }

  layout_functions.post_message(FocusedControlOf(foreground, thread_id),
                                WM_INPUTLANGCHANGEREQUEST, 0,
                                reinterpret_cast<LPARAM>(best));
  for (int poll = 0; poll < kSwitchPolls; ++poll) {
    Sleep(kSwitchPollMs);
    if (layout_functions.get_keyboard_layout(thread_id) == best) {
      return best;
    }
  }
  return layout_functions.get_keyboard_layout(thread_id);
}
