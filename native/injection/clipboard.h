#ifndef KORVEX_NATIVE_INJECTION_CLIPBOARD_H_
#define KORVEX_NATIVE_INJECTION_CLIPBOARD_H_

#include <cstddef>
#include <optional>
#include <string>

// The clipboard as Unicode text, with one saved-text slot shared by the
// clipboard methods (main thread) and the paste fallback (injection worker).

// Absent when the clipboard cannot be opened or holds no Unicode text.
std::optional<std::wstring> ReadClipboardText();
// The text of a clipboard block of |bytes| bytes: up to its first NUL, or to
// its last whole unit when it has none.
std::wstring TextWithinBlock(const wchar_t* block, size_t bytes);
// True when the clipboard now holds |text|.
bool WriteClipboardText(const std::wstring& text);
// Replaces the slot with the clipboard's current text (or with nothing).
void SaveClipboard();
// Writes a saved text back, then empties the slot.
void RestoreSavedClipboard();
// Empties the slot and hands back what it held.
std::optional<std::wstring> TakeSavedClipboard();

#endif  // KORVEX_NATIVE_INJECTION_CLIPBOARD_H_
