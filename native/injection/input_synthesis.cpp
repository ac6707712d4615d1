#include "injection/input_synthesis.h"

#include <atomic>

#include "injection/clipboard.h"
#include "injection/layout_switch.h"

namespace {

constexpr DWORD kPasteSettleMs = 400;

std::atomic<bool> left_shift_released{false};
std::atomic<bool> right_shift_released{false};
// -1 until the first TypeText reads KORVEX_UNICODE_TYPE.
std::atomic<int> unicode_typing_mode{-1};
std::atomic<bool> injection_abandoned{false};

INPUT KeyEvent(WORD vk, WORD scan, DWORD flags) {
  return KeyboardInput(vk, scan, flags, kInjectionMarker);
}

void SendOne(WORD vk, DWORD flags) {
  INPUT input = KeyEvent(vk, 0, flags);
  SendInput(1, &input, sizeof(INPUT));
}

void Pause(int delay_ms) {
  if (delay_ms >= 1) {
    Sleep(static_cast<DWORD>(delay_ms));
  }
}

bool UnicodeTypingMode() {
  int mode = unicode_typing_mode.load();
  if (mode < 0) {
    wchar_t value[8] = {};
    GetEnvironmentVariableW(L"KORVEX_UNICODE_TYPE", value, 8);
    mode = value[0] == L'1' ? 1 : 0;
    unicode_typing_mode.store(mode);
  }
  return mode == 1;
}

void SendUnicodeUnit(wchar_t unit) {
  INPUT events[2] = {KeyEvent(0, unit, KEYEVENTF_UNICODE),
                     KeyEvent(0, unit, KEYEVENTF_UNICODE | KEYEVENTF_KEYUP)};
  SendInput(2, events, sizeof(INPUT));
}

// Ctrl down, |vk| down and up, Ctrl up: one event a call.
void SendChord(WORD vk, int delay_ms) {
  SendOne(VK_CONTROL, 0);
  Pause(delay_ms);
  SendOne(vk, 0);
  Pause(delay_ms);
  SendOne(vk, KEYEVENTF_KEYUP);
  Pause(delay_ms);
  SendOne(VK_CONTROL, KEYEVENTF_KEYUP);
}

}  // namespace

INPUT KeyboardInput(WORD vk, WORD scan, DWORD flags, ULONG_PTR extra) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = scan;
  input.ki.dwFlags = flags;
  input.ki.time = 0;
  input.ki.dwExtraInfo = extra;
  return input;
}

void ReleaseHeldModifiers() {
  for (WORD vk : kModifierKeys) {
    if (GetAsyncKeyState(vk) < 0) {
      SendOne(vk, KEYEVENTF_KEYUP);
      if (vk == VK_LSHIFT) {
        left_shift_released = true;
      } else if (vk == VK_RSHIFT) {
        right_shift_released = true;
      }
    }
  }
}

bool AnyModifierHeld() {
  for (WORD vk : kModifierKeys) {
    if (GetAsyncKeyState(vk) < 0) {
      return true;
    }
  }
  return false;
}

void RestoreReleasedShiftKeys(const bool (&physically_down)[256]) {
  struct ShiftKey {
    WORD vk;
    WORD scan;
    std::atomic<bool>* released;
  };
  const ShiftKey keys[] = {{VK_LSHIFT, 0x2A, &left_shift_released},
                           {VK_RSHIFT, 0x36, &right_shift_released}};
  for (const ShiftKey& key : keys) {
    if (key.released->exchange(false) && physically_down[key.vk] &&
        GetAsyncKeyState(key.vk) >= 0) {
      INPUT input = KeyEvent(key.vk, key.scan, 0);
      SendInput(1, &input, sizeof(INPUT));
    }
  }
}

bool WasShiftReleasedByInjection(WORD vk) {
  if (vk == VK_LSHIFT) {
    return left_shift_released.load();
  }
  if (vk == VK_RSHIFT) {
    return right_shift_released.load();
  }
  return false;
}

void AppendKeyEvent(KeyBatch& batch, WORD vk, bool key_up) {
  if (batch.count >= 8) {
    return;
  }
  const WORD scan =
      static_cast<WORD>(MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, batch.layout));
  batch.events[batch.count++] = KeyEvent(vk, scan, key_up ? KEYEVENTF_KEYUP : 0);
}

bool TypeCharByVirtualKey(wchar_t ch, HKL layout, bool caps_lock_on) {
  const SHORT scan = layout_functions.vk_key_scan_ex(ch, layout);
  if (!IsTypeableScan(scan)) {
    return false;
  }
  const WORD vk = static_cast<WORD>(scan) & 0xFF;
  const WORD state = (static_cast<WORD>(scan) >> 8) & 0xFF;
  bool need_shift = (state & 1) != 0;
  if (caps_lock_on && IsCharAlphaW(ch)) {
    need_shift = !need_shift;
  }
  const bool need_ctrl = (state & 2) != 0;
  const bool need_alt = (state & 4) != 0;

  KeyBatch batch;
  batch.layout = layout;
  if (need_ctrl) AppendKeyEvent(batch, VK_CONTROL, false);
  if (need_alt) AppendKeyEvent(batch, VK_MENU, false);
  if (need_shift) AppendKeyEvent(batch, VK_SHIFT, false);
  AppendKeyEvent(batch, vk, false);
  AppendKeyEvent(batch, vk, true);
  if (need_shift) AppendKeyEvent(batch, VK_SHIFT, true);
  if (need_alt) AppendKeyEvent(batch, VK_MENU, true);
  if (need_ctrl) AppendKeyEvent(batch, VK_CONTROL, true);
  SendInput(batch.count, batch.events, sizeof(INPUT));
  return true;
}

bool PasteTextViaClipboard(const std::wstring& text, int delay_ms) {
  SaveClipboard();
  if (!WriteClipboardText(text)) {
    RestoreSavedClipboard();
    return false;
  }
  ReleaseHeldModifiers();
  SendChord('V', delay_ms);
  // The target reads the clipboard when it handles the chord: give it time
  // before the user's text goes back.
  Sleep(kPasteSettleMs);
  RestoreSavedClipboard();
  return true;
}

void TypeText(const std::wstring& text, int delay_ms, bool caps_lock_on) {
  if (text.empty()) {
    return;
  }
  ReleaseHeldModifiers();
  HKL layout = UnicodeTypingMode() ? nullptr : SelectLayoutForText(text);

  if (layout) {
    bool all_typeable = true;
    for (wchar_t unit : text) {
      if (!IsTypeableScan(layout_functions.vk_key_scan_ex(unit, layout))) {
        all_typeable = false;
        break;
      }
    }
    if (!all_typeable) {
      // A window that cannot take Unicode events gets the text pasted.
      if (HWND foreground = GetForegroundWindow()) {
        HWND target = FocusedControlOf(
            foreground, GetWindowThreadProcessId(foreground, nullptr));
        if (!IsWindowUnicode(target) && PasteTextViaClipboard(text, delay_ms)) {
          return;
        }
      }
    }
  }

  for (wchar_t unit : text) {
    if (injection_abandoned.load()) {
      return;
    }
    if (!layout || !TypeCharByVirtualKey(unit, layout, caps_lock_on)) {
      SendUnicodeUnit(unit);
    }
    Pause(delay_ms);
  }
}

void SendBackspaces(int count, int delay_ms) {
  if (count <= 0) {
    return;
  }
  ReleaseHeldModifiers();
  for (int i = 0; i < count && !injection_abandoned.load(); ++i) {
    INPUT events[2] = {KeyEvent(VK_BACK, 0, 0),
                       KeyEvent(VK_BACK, 0, KEYEVENTF_KEYUP)};
    SendInput(2, events, sizeof(INPUT));
    Pause(delay_ms);
  }
}

void AbandonInjection(bool abandon) {
  injection_abandoned.store(abandon);
}

void SendCtrlChord(WORD vk, int delay_ms) {
  ReleaseHeldModifiers();
  SendChord(vk, delay_ms);
}

void TapKey(WORD vk) {
  INPUT events[2] = {KeyEvent(vk, 0, 0), KeyEvent(vk, 0, KEYEVENTF_KEYUP)};
  SendInput(2, events, sizeof(INPUT));
}
