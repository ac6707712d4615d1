#ifndef KORVEX_NATIVE_KEYBOARD_KEY_RECORDS_H_
#define KORVEX_NATIVE_KEYBOARD_KEY_RECORDS_H_

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

// The keys that take the modifier branch; Caps Lock and the other lock keys
// are ordinary keys.
constexpr std::array<BYTE, 11> kModifierKeyCodes = {
    VK_SHIFT,  VK_CONTROL, VK_MENU,     VK_LWIN,     VK_RWIN, VK_LSHIFT,
    VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU};

bool IsModifierKey(DWORD vk);

// Keys whose press clicks: space, digits, letters, keypad, punctuation.
bool IsTypingKey(DWORD vk);

// Decides what the application hears of one handled key event and whether
// the event is swallowed (true). |message| is the hook's wParam.
bool ProcessKeyEvent(WPARAM message,
                     const KBDLLHOOKSTRUCT& event,
                     bool replay,
                     bool physical,
                     bool was_physically_down);

// Send a record to the listener; nothing without one. |hold_id| is added
// as "held" only when positive.
void EmitKeyDownEvent(DWORD vk,
                      DWORD scan,
                      bool repeat,
                      const std::string& chars,
                      int32_t hold_id);
void EmitModifierEvent(DWORD vk, bool down);

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

#endif  // KORVEX_NATIVE_KEYBOARD_KEY_RECORDS_H_
