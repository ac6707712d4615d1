#include "keyboard/key_path.h"

#include "common/capture_log.h"
#include "common/text_conversion.h"
#include "feedback/key_sounds.h"
#include "injection/injection_queue.h"
#include "injection/injection_target.h"
#include "keyboard/hot_keys.h"
#include "keyboard/key_hold.h"
#include "keyboard/key_queue.h"
#include "keyboard/key_records.h"
#include "keyboard/keyboard_state.h"
#include "keyboard/modifier_tracking.h"

ToUnicodeExFunction key_translation = ToUnicodeEx;

namespace {

constexpr DWORD kExtendedScanBit = 0xE000;

const char* Flag(bool value) {
  return value ? "1" : "0";
}

void PostKeyClick(HKL layout) {
  HWND window = EnsureInjectionWindow();
  if (window) {
    PostMessageW(window, kKeySoundMessage, reinterpret_cast<WPARAM>(layout),
                 0);
  }
}

void TraceKeyDown(DWORD vk, DWORD scan, bool repeat, const std::string& chars,
                  int32_t hold_id) {
  std::string line = "emit keyDown vk=" + std::to_string(vk) +
                     " scan=" + std::to_string(scan) + " repeat=" +
                     Flag(repeat) + " chars=\"" + chars + "\" ctrl=" +
                     Flag(ctrl_down) + " shift=" + Flag(shift_down) +
                     " held=" + std::to_string(hold_id);
  WriteTraceLine(line);
}

}  // namespace

HKL ForegroundLayout() {
  HWND foreground = GetForegroundWindow();
  const DWORD thread =
      foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  return GetKeyboardLayout(thread);
}

bool IsTypingKey(DWORD vk) {
  return vk == VK_SPACE || (vk >= '0' && vk <= '9') ||
         (vk >= 'A' && vk <= 'Z') || (vk >= 0x60 && vk <= 0x6F) ||
         (vk >= 0xBA && vk <= 0xC0) || (vk >= 0xDB && vk <= 0xDF) ||
         vk == 0xE2;
}

std::string CharactersForKey(DWORD vk, DWORD scan_code, bool shift) {
  if (ctrl_down || alt_down || meta_down) {
    return std::string();
  }
  return CharactersForKey(vk, scan_code, shift, ForegroundLayout());
}

std::string CharactersForKey(DWORD vk, DWORD scan_code, bool shift,
                             HKL layout) {
  if (ctrl_down || alt_down || meta_down) {
    return std::string();
  }
  BYTE key_state[256] = {};
  if (shift) {
    key_state[VK_SHIFT] = key_state[VK_LSHIFT] = key_state[VK_RSHIFT] = 0x80;
  }
  if (caps_lock_on) {
    key_state[VK_CAPITAL] = 0x01;
  }
  wchar_t buffer[8] = {};
  const int count =
      key_translation(vk, scan_code, key_state, buffer, 8, 0, layout);
  if (count < 0) {
    // A dead key: the second call takes the pending accent out again, so
    // that the user's next key is not composed with it here.
    wchar_t discard[8] = {};
    key_translation(vk, scan_code, key_state, discard, 8, 0, layout);
    return std::string();
  }
  const int units = count < 8 ? count : 8;
  return units > 0 ? Utf8FromUtf16(std::wstring(buffer, units))
                   : std::string();
}

bool ProcessKeyEvent(WPARAM message, const KBDLLHOOKSTRUCT& event, bool replay,
                     bool physical, bool was_physically_down) {
  const bool is_down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  const bool is_up = message == WM_KEYUP || message == WM_SYSKEYUP;
  if (!is_down && !is_up) {
    return false;
  }
  const DWORD vk = event.vkCode;
  const bool modifier = IsModifierKey(vk);
  // Looked up once for the click, the characters and the target.
  HWND foreground = nullptr;
  DWORD thread = 0;
  HKL layout = nullptr;
  auto look_up = [&] {
    if (!layout) {
      foreground = GetForegroundWindow();
      thread = foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
      layout = GetKeyboardLayout(thread);
    }
  };
  // The press clicks, also when it waits behind something pending.
  if (is_down && physical && !was_physically_down && !modifier &&
      KeySoundsEnabled() && !ctrl_down && !alt_down && !meta_down &&
      IsTypingKey(vk)) {
    look_up();
    PostKeyClick(layout);
  }
  const unsigned index = KeyIndex(vk);
  bool shift_for_chars = shift_down;
  if (TakeKeyEvent(message, event, replay, &shift_for_chars)) {
    // The held key's own release: a press after it is no repeat.
    if (is_up && !modifier) {
      tracked_key_down[index] = false;
    }
    return true;
  }
  const bool previously_down = tracked_key_down[index];
  // A replayed key delivers a captured press, also when the user still
  // holds the key: it is no auto-repeat, and its characters count.
  const bool repeat = is_down && previously_down && !replay;
  tracked_key_down[index] = is_down;
  RecomputeModifierFlags();

  if (modifier) {
    TrackModifierEvent(is_down, event, previously_down, physical,
                       was_physically_down);
    return false;
  }
  if (is_up) {
    return ReleaseHotKey(vk);
  }
  if (!repeat && (ctrl_down || alt_down || meta_down || shift_down)) {
    CheckStuckModifiers("keyDown");
  }
  DWORD scan = event.scanCode;
  if (event.flags & LLKHF_EXTENDED) {
    scan |= kExtendedScanBit;
  }
  look_up();
  std::string chars;
  if (!repeat && !ctrl_down && !alt_down && !meta_down) {
    chars = CharactersForKey(vk, event.scanCode, shift_for_chars, layout);
  }
  last_key_target = TargetOf(foreground, thread);
  const bool hot_key = PressHotKey(vk);
  const int32_t hold_id =
      hot_key ? 0 : DecideHold(event, repeat, replay, shift_for_chars);
  if (capture_log) {
    TraceKeyDown(vk, scan, repeat, chars, hold_id);
  }
  EmitKeyDownEvent(vk, scan, repeat, chars, hold_id);
  return hot_key || hold_id > 0;
}
