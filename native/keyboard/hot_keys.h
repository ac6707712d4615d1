#ifndef KORVEX_NATIVE_KEYBOARD_HOT_KEYS_H_
#define KORVEX_NATIVE_KEYBOARD_HOT_KEYS_H_

#include <windows.h>

#include <vector>

// The chords the application handles itself ("setHotKeys"). Their key-down
// and key-up never reach the program in front, which would act on them too
// (Ctrl+Shift+T reopens a browser's closed tab); their records still go to
// the application.

struct HotKey {
  DWORD vk = 0;
  bool control = false;
  bool shift = false;
  bool alt = false;
  bool meta = false;
};

// At most this many; the rest are left out.
constexpr size_t kMaxHotKeys = 32;

void SetHotKeys(std::vector<HotKey> keys);

// For a non-modifier key-down going out, the modifier flags as they are
// after it: true when it is one of the chords (it is then swallowed, and so
// is its key-up).
bool PressHotKey(DWORD vk);
// For a non-modifier key-up: true when its press was a chord's.
bool ReleaseHotKey(DWORD vk);

#endif  // KORVEX_NATIVE_KEYBOARD_HOT_KEYS_H_
