#include "injection/clipboard.h"

#include <windows.h>

#include <cstring>
#include <mutex>

#include "bridge/message_wait.h"
#include "bridge/text_conversion.h"

namespace {

constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMs = 10;

// The saved text. The main thread's methods and the worker's paste fallback
// both use it; the lock keeps one from reading it half-written.
std::mutex saved_mutex;
bool saved_has_text = false;
std::wstring saved_text;

bool OpenClipboardWithRetries() {
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    if (OpenClipboard(nullptr)) {
      return true;
    }
    // The clipboard methods run on the hooks' thread: keep serving them.
    SleepServingSentMessages(kOpenRetryMs);
  }
  return false;
}

}  // namespace

std::optional<std::wstring> ReadClipboardText() {
  if (!OpenClipboardWithRetries()) {
    return std::nullopt;
  }
  std::optional<std::wstring> result;
  HANDLE data = GetClipboardData(CF_UNICODETEXT);
  if (data) {
    // Another program may have put a block without a terminator.
    if (const auto* text = static_cast<const wchar_t*>(GlobalLock(data))) {
      result = TextWithinBlock(text, GlobalSize(data));
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return result;
}

std::wstring TextWithinBlock(const wchar_t* block, size_t bytes) {
  return TextWithin(block, bytes / sizeof(wchar_t));
}

bool WriteClipboardText(const std::wstring& text) {
  if (!OpenClipboardWithRetries()) {
    return false;
  }
  EmptyClipboard();
  bool written = false;
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* target = GlobalLock(memory)) {
      std::memcpy(target, text.c_str(), bytes);
      GlobalUnlock(memory);
      written = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    if (!written) {
      GlobalFree(memory);
    }
  }
  CloseClipboard();
  return written;
}

void SaveClipboard() {
  std::optional<std::wstring> text = ReadClipboardText();
  std::lock_guard<std::mutex> lock(saved_mutex);
  saved_has_text = text.has_value();
  saved_text = text ? std::move(*text) : std::wstring();
}

std::optional<std::wstring> TakeSavedClipboard() {
  std::lock_guard<std::mutex> lock(saved_mutex);
  std::optional<std::wstring> text;
  if (saved_has_text) {
    text = std::move(saved_text);
  }
  saved_has_text = false;
  saved_text.clear();
  return text;
}

void RestoreSavedClipboard() {
  if (std::optional<std::wstring> text = TakeSavedClipboard()) {
    WriteClipboardText(*text);
  }
}
