#include "injection/clipboard.h"

#include <cstring>

#include "common/message_wait.h"
#include "common/text_conversion.h"

namespace {

constexpr int kOpenAttempts = 10;
constexpr DWORD kOpenRetryMs = 10;

std::optional<ClipboardContents> saved;

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

// Formats whose handle is no global memory block: GDI objects, metafile
// pictures, display formats, and the private range, which the system
// never frees or copies. An enhanced metafile is kept as its bits.
bool HeldAsMemory(UINT format) {
  switch (format) {
    case CF_BITMAP:
    case CF_METAFILEPICT:
    case CF_PALETTE:
    case CF_OWNERDISPLAY:
    case CF_DSPBITMAP:
    case CF_DSPMETAFILEPICT:
    case CF_DSPENHMETAFILE:
      return false;
  }
  return !(format >= CF_PRIVATEFIRST && format <= CF_PRIVATELAST) &&
         !(format >= CF_GDIOBJFIRST && format <= CF_GDIOBJLAST);
}

std::optional<std::vector<uint8_t>> FormatBytes(UINT format, size_t room) {
  HANDLE data = GetClipboardData(format);
  if (!data) {
    return std::nullopt;
  }
  if (format == CF_ENHMETAFILE) {
    HENHMETAFILE metafile = static_cast<HENHMETAFILE>(data);
    const UINT size = GetEnhMetaFileBits(metafile, 0, nullptr);
    if (size == 0 || size > room) {
      return std::nullopt;
    }
    std::vector<uint8_t> bytes(size);
    GetEnhMetaFileBits(metafile, size, bytes.data());
    return bytes;
  }
  const size_t size = GlobalSize(data);
  if (size > room) {
    return std::nullopt;
  }
  const void* block = GlobalLock(data);
  if (!block && size > 0) {
    return std::nullopt;
  }
  std::vector<uint8_t> bytes(static_cast<const uint8_t*>(block),
                             static_cast<const uint8_t*>(block) + size);
  GlobalUnlock(data);
  return bytes;
}

bool PutFormat(UINT format, const std::vector<uint8_t>& bytes) {
  if (format == CF_ENHMETAFILE) {
    HENHMETAFILE metafile = SetEnhMetaFileBits(
        static_cast<UINT>(bytes.size()), bytes.data());
    if (metafile && SetClipboardData(format, metafile)) {
      return true;
    }
    if (metafile) DeleteEnhMetaFile(metafile);
    return false;
  }
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes.empty() ? 1 : bytes.size());
  if (!memory) {
    return false;
  }
  if (void* target = GlobalLock(memory)) {
    if (!bytes.empty()) std::memcpy(target, bytes.data(), bytes.size());
    GlobalUnlock(memory);
    if (SetClipboardData(format, memory)) {
      return true;
    }
  }
  GlobalFree(memory);
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
  const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  std::vector<uint8_t> block(bytes);
  std::memcpy(block.data(), text.c_str(), bytes);
  const bool written = PutFormat(CF_UNICODETEXT, block);
  CloseClipboard();
  return written;
}

std::optional<ClipboardContents> ReadClipboardContents() {
  if (!OpenClipboardWithRetries()) {
    return std::nullopt;
  }
  ClipboardContents contents;
  contents.sequence = GetClipboardSequenceNumber();
  size_t room = kMaxSavedClipboardBytes;
  for (UINT format = EnumClipboardFormats(0); format != 0;
       format = EnumClipboardFormats(format)) {
    if (!HeldAsMemory(format)) {
      continue;
    }
    // Asking for it has the owner render one it only promised.
    if (auto bytes = FormatBytes(format, room)) {
      room -= bytes->size();
      contents.formats.emplace_back(format, std::move(*bytes));
    }
  }
  CloseClipboard();
  return contents;
}

bool WriteClipboardContents(const ClipboardContents& contents) {
  if (!OpenClipboardWithRetries()) {
    return false;
  }
  EmptyClipboard();
  bool all = true;
  for (const auto& [format, bytes] : contents.formats) {
    all = PutFormat(format, bytes) && all;
  }
  CloseClipboard();
  return all;
}

void SaveClipboard() {
  saved = ReadClipboardContents();
}

void RestoreSavedClipboard() {
  std::optional<ClipboardContents> contents = std::move(saved);
  saved.reset();
  // Unchanged since the save (a copy that copied nothing): nothing to undo.
  if (contents && GetClipboardSequenceNumber() != contents->sequence) {
    WriteClipboardContents(*contents);
  }
}

bool HasSavedClipboard() {
  return saved.has_value();
}
