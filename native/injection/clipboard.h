#ifndef KORVEX_NATIVE_INJECTION_CLIPBOARD_H_
#define KORVEX_NATIVE_INJECTION_CLIPBOARD_H_

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The clipboard as Unicode text, and whole: a save keeps every format the
// clipboard holds as data, so that what the user had (rich text, images,
// file lists, a program's own formats) comes back byte for byte.

// Absent when the clipboard cannot be opened or holds no Unicode text.
std::optional<std::wstring> ReadClipboardText();
// The text of a clipboard block of |bytes| bytes: up to its first NUL, or to
// its last whole unit when it has none.
std::wstring TextWithinBlock(const wchar_t* block, size_t bytes);
// True when the clipboard now holds |text|.
bool WriteClipboardText(const std::wstring& text);

struct ClipboardContents {
  // Each format's bytes, in the order the clipboard listed them.
  std::vector<std::pair<UINT, std::vector<uint8_t>>> formats;
  // The clipboard's change count when they were read.
  DWORD sequence = 0;
};
// Formats rendered on request are rendered now; formats held as GDI or
// private handles, and what lies past kMaxSavedClipboardBytes, are left out.
// Nothing when the clipboard cannot be opened.
std::optional<ClipboardContents> ReadClipboardContents();
constexpr size_t kMaxSavedClipboardBytes = size_t{256} << 20;
// Empties the clipboard and puts |contents| on it; true when all went.
bool WriteClipboardContents(const ClipboardContents& contents);

// The slot of the methods "saveClipboard" and "restoreClipboard" (main
// thread): a save replaces it; a restore puts it back, unless the clipboard
// has not changed since the save, and empties it.
void SaveClipboard();
void RestoreSavedClipboard();
bool HasSavedClipboard();

#endif  // KORVEX_NATIVE_INJECTION_CLIPBOARD_H_
