#include "injection/input_synthesis.h"

#include <atomic>

#include "injection/clipboard.h"
#include "injection/injection_target.h"
#include "injection/layout_switch.h"

namespace {

constexpr DWORD kPasteSettleMs = 400;

// The left and right Shift and Ctrl keys injection let go of.
struct ReleasedKey {
  WORD vk;
  WORD scan;
  unsigned bit;
  std::atomic<bool> released{false};
};
ReleasedKey released_keys[] = {{VK_LSHIFT, 0x2A, 1},
                               {VK_RSHIFT, 0x36, 2},
                               {VK_LCONTROL, 0x1D, 4},
                               {VK_RCONTROL, 0x1D, 8}};
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
  for (WORD vk : kReleasedModifierKeys) {
    if (GetAsyncKeyState(vk) < 0) {
      SendOne(vk, KEYEVENTF_KEYUP);
      for (ReleasedKey& key : released_keys) {
        if (key.vk == vk) key.released = true;
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

bool AltOrWinHeld() {
  for (WORD vk : {VK_LMENU, VK_RMENU, VK_MENU, VK_LWIN, VK_RWIN}) {
    if (GetAsyncKeyState(vk) < 0) {
      return true;
    }
  }
  return false;
}

unsigned RestoreReleasedModifiers(const bool (&physically_down)[256],
                                  UINT(WINAPI* send)(UINT, LPINPUT, int)) {
  unsigned pressed = 0;
  for (ReleasedKey& key : released_keys) {
    if (key.released.exchange(false) && physically_down[key.vk] &&
        GetAsyncKeyState(key.vk) >= 0) {
      const DWORD extended = key.vk == VK_RCONTROL ? KEYEVENTF_EXTENDEDKEY : 0;
      INPUT input = KeyEvent(key.vk, key.scan, extended);
      send(1, &input, sizeof(INPUT));
      pressed |= key.bit;
    }
  }
  return pressed;
}

bool WasReleasedByInjection(WORD vk) {
  for (const ReleasedKey& key : released_keys) {
    if (key.vk == vk) return key.released.load();
  }
  return false;
}

bool KeepInjecting() {
  return !injection_abandoned.load() && BoundTargetInFront();
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
  if (!KeepInjecting()) {
    return false;
  }
  // A save of its own: the methods' slot may hold the user's clipboard,
  // still to be given back.
  const std::optional<ClipboardContents> users = ReadClipboardContents();
  if (!users || !WriteClipboardText(text)) {
    return false;
  }
  const DWORD pasted = GetClipboardSequenceNumber();
  ReleaseHeldModifiers();
  SendChord('V', delay_ms);
  // The target reads the clipboard when it handles the chord: give it time
  // before the user's clipboard goes back, unless someone wrote since.
  Sleep(kPasteSettleMs);
  if (GetClipboardSequenceNumber() == pasted) {
    WriteClipboardContents(*users);
  }
  return true;
}

bool TypeText(const std::wstring& text, int delay_ms, bool caps_lock_on) {
  if (text.empty()) {
    return true;
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
          return true;
        }
      }
    }
  }

  for (wchar_t unit : text) {
    if (!KeepInjecting()) {
      return false;
    }
    if (!layout || !TypeCharByVirtualKey(unit, layout, caps_lock_on)) {
      SendUnicodeUnit(unit);
    }
    Pause(delay_ms);
  }
  return true;
}

bool SendBackspaces(int count, int delay_ms) {
  if (count <= 0) {
    return true;
  }
  ReleaseHeldModifiers();
  for (int i = 0; i < count; ++i) {
    if (!KeepInjecting()) {
      return false;
    }
    INPUT events[2] = {KeyEvent(VK_BACK, 0, 0),
                       KeyEvent(VK_BACK, 0, KEYEVENTF_KEYUP)};
    SendInput(2, events, sizeof(INPUT));
    Pause(delay_ms);
  }
  return true;
}

void AbandonInjection(bool abandon) {
  injection_abandoned.store(abandon);
}

bool SendCtrlChord(WORD vk, int delay_ms) {
  // Whole or not at all: a chord cut short would leave Ctrl down.
  if (!KeepInjecting()) {
    return false;
  }
  ReleaseHeldModifiers();
  SendChord(vk, delay_ms);
  return true;
}

void TapKey(WORD vk) {
  INPUT events[2] = {KeyEvent(vk, 0, 0), KeyEvent(vk, 0, KEYEVENTF_KEYUP)};
  SendInput(2, events, sizeof(INPUT));
}
