#ifndef KORVEX_NATIVE_LAYOUTS_LAYOUT_TABLES_H_
#define KORVEX_NATIVE_LAYOUTS_LAYOUT_TABLES_H_

#include <flutter/encodable_value.h>
#include <windows.h>

#include <array>

// What the 47 character keys of the main block type in each installed
// layout, without and with Shift, so that text can be carried from one
// layout to another key by key.

// Scan codes in table order: ` 1-0 - = Q-P [ ] \ A-L ; ' Z-M , . /
constexpr std::array<UINT, 47> kCharacterKeyScanCodes = {
    0x29, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
    0x0D, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A,
    0x1B, 0x2B, 0x1E, 0x1F, 0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27,
    0x28, 0x2C, 0x2D, 0x2E, 0x2F, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35};

// A seam beside the layout list's (injection/layout_switch.h): Wine ignores
// the layout argument of both and follows the X keymap, so tests give other
// layouts' keys through functions of their own.
struct LayoutKeyFunctions {
  UINT(WINAPI* map_virtual_key_ex)(UINT code, UINT map_type, HKL layout);
  int(WINAPI* to_unicode_ex)(UINT vk, UINT scan, const BYTE* state,
                             LPWSTR buffer, int size, UINT flags, HKL layout);
};
extern LayoutKeyFunctions layout_key_functions;

// The last UTF-16 unit the key types in |layout|, or 0 when it types
// nothing or is a dead key. Keyboard state is left as it was.
wchar_t CharForScanCode(UINT scan_code, bool shift, HKL layout);

// One map per installed layout, the foreground window's first: "langId",
// and "chars" and "shiftChars" of exactly 47 units each (0 for no
// character, kept in place).
flutter::EncodableList BuildLayoutTables();

#endif  // KORVEX_NATIVE_LAYOUTS_LAYOUT_TABLES_H_
