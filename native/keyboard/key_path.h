#ifndef KORVEX_NATIVE_KEYBOARD_KEY_PATH_H_
#define KORVEX_NATIVE_KEYBOARD_KEY_PATH_H_

#include <windows.h>

#include <cstdint>
#include <string>

// Keys whose press clicks: space, digits, letters, keypad, punctuation.
bool IsTypingKey(DWORD vk);

// Decides what the application hears of one handled key event and whether
// the event is swallowed (true). |message| is the hook's wParam.
bool ProcessKeyEvent(WPARAM message,
                     const KBDLLHOOKSTRUCT& event,
                     bool replay,
                     bool physical,
                     bool was_physically_down);

// What the key types in the foreground window's layout (UTF-8): nothing
// while Ctrl, Alt or Win is tracked, or for a dead key.
std::string CharactersForKey(DWORD vk, DWORD scan_code, bool shift);
std::string CharactersForKey(DWORD vk, DWORD scan_code, bool shift,
                             HKL layout);

// The keyboard layout of the foreground window's thread (of this thread
// when there is no foreground window).
HKL ForegroundLayout();

// A seam: Wine's ToUnicodeEx never reports a dead key, so tests reach the
// dead-key path through a translation of their own.
using ToUnicodeExFunction = int(WINAPI*)(UINT vk, UINT scan, const BYTE* state,
                                         LPWSTR buffer, int size, UINT flags,
                                         HKL layout);
extern ToUnicodeExFunction key_translation;

#endif  // KORVEX_NATIVE_KEYBOARD_KEY_PATH_H_
