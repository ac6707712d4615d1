#ifndef KORVEX_NATIVE_INJECTION_LAYOUT_SWITCH_H_
#define KORVEX_NATIVE_INJECTION_LAYOUT_SWITCH_H_

#include <windows.h>

#include <string>

// The layout functions layout switching uses. A seam: Wine ignores the layout
// argument of these functions and never switches layouts, so tests feed the
// choice among several layouts with layout data of their own.
struct KeyboardLayoutFunctions {
  int(WINAPI* get_keyboard_layout_list)(int count, HKL* list);
  HKL(WINAPI* get_keyboard_layout)(DWORD thread_id);
  SHORT(WINAPI* vk_key_scan_ex)(WCHAR ch, HKL layout);
  BOOL(WINAPI* post_message)(HWND window, UINT message, WPARAM wparam,
                             LPARAM lparam);
};
extern KeyboardLayoutFunctions layout_functions;

// True when VkKeyScanExW's answer names a key reachable with plain, Shift,
// Ctrl and Alt states (AltGr included).
bool IsTypeableScan(SHORT scan);

// The number of UTF-16 units of |text| that |layout| can type.
int CountTypeableChars(const std::wstring& text, HKL layout);

// Picks the installed layout that types most of |text| (the current one on
// ties), asks the foreground window's focused control to switch to it, and
// waits up to 250 ms for the switch. Returns the layout to type with.
HKL SelectLayoutForText(const std::wstring& text);

// The focused control of |window|'s thread, or |window| itself.
HWND FocusedControlOf(HWND window, DWORD thread_id);

#endif  // KORVEX_NATIVE_INJECTION_LAYOUT_SWITCH_H_
