#ifndef KORVEX_NATIVE_INJECTION_CLIPBOARD_H_
#define KORVEX_NATIVE_INJECTION_CLIPBOARD_H_

#include <optional>
#include <string>

// The clipboard as Unicode text, with one saved-text slot shared by the
// clipboard methods (main thread) and the paste fallback (injection worker).

// Absent when the clipboard cannot be opened or holds no Unicode text.
std::optional<std::wstring> ReadClipboardText();
// True when the clipboard now holds |text|.
bool WriteClipboardText(const std::wstring& text);
// Replaces the slot with the clipboard's current text (or with nothing).
void SaveClipboard();
// Writes a saved text back, then empties the slot.
void RestoreSavedClipboard();
// Empties the slot and hands back what it held.
std::optional<std::wstring> TakeSavedClipboard();

#endif  // KORVEX_NATIVE_INJECTION_CLIPBOARD_H_
