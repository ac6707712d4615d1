// The clipboard service against Wine's real clipboard.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "injection/clipboard.h"

using Text = std::optional<std::wstring>;

namespace {

const char* const kOtherFormats[] = {"KorvexTestPrivate", "Rich Text Format"};

// The bytes the other owner puts under |format|.
std::string OtherBytes(const char* format) {
  return std::string("{\\rtf1 ") + format + "}";
}

LRESULT CALLBACK RenderLate(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam) {
  if (message == WM_RENDERFORMAT) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 5);
    std::memcpy(GlobalLock(memory), "late", 5);
    GlobalUnlock(memory);
    SetClipboardData(static_cast<UINT>(wparam), memory);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Leaves a private format, rich text, one format rendered only on request
// and, with |text|, that text on the clipboard, as another window's.
bool PutOtherFormats(const wchar_t* text = nullptr) {
  static const HWND owner = [] {
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window, GWLP_WNDPROC,
                      reinterpret_cast<LONG_PTR>(RenderLate));
    return window;
  }();
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool put = true;
  auto set = [&put](UINT format, const void* data, size_t size) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
    std::memcpy(GlobalLock(memory), data, size);
    GlobalUnlock(memory);
    put = SetClipboardData(format, memory) && put;
  };
  for (const char* format : kOtherFormats) {
    const std::string bytes = OtherBytes(format);
    set(RegisterClipboardFormatA(format), bytes.data(), bytes.size());
  }
  if (text) set(CF_UNICODETEXT, text, (wcslen(text) + 1) * sizeof(wchar_t));
  SetClipboardData(RegisterClipboardFormatA("KorvexTestLate"), nullptr);
  CloseClipboard();
  return put;
}

// What the clipboard holds under |format|, or "<none>".
std::string Bytes(const char* format) {
  if (!OpenClipboard(nullptr)) return "<closed>";
  std::string bytes = "<none>";
  if (HANDLE data = GetClipboardData(RegisterClipboardFormatA(format))) {
    const char* block = static_cast<const char*>(GlobalLock(data));
    bytes.assign(block, block + GlobalSize(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return bytes;
}

TEST(ClipboardTest, TextRoundTripsAndIsReadOnlyWithinItsBlock) {
  for (const wchar_t* text : {L"Съешь же ещё этих мягких булок",
                              L"smile \xD83D\xDE00 and \xD834\xDD1E end", L""}) {
    ASSERT_TRUE(WriteClipboardText(text));
    EXPECT_EQ(ReadClipboardText(), Text(text));  // "" is present, not absent
  }

  // Wine ends every block it stores with a NUL, so the bound is tried on a
  // block of its own: unterminated, with non-zero units after it.
  const wchar_t block[] = L"abcGUARD";
  EXPECT_EQ(TextWithinBlock(block, 6), L"abc");
  EXPECT_EQ(TextWithinBlock(block, 7), L"abc");
  EXPECT_EQ(TextWithinBlock(nullptr, 8), L"");

  // No text on the clipboard is no text, not an empty one.
  ASSERT_TRUE(PutOtherFormats());
  EXPECT_EQ(ReadClipboardText(), std::nullopt);

  // A write replaces every format another owner left.
  ASSERT_TRUE(WriteClipboardText(L"count me"));
  EXPECT_EQ(ReadClipboardText(), Text(L"count me"));
  for (const char* format : kOtherFormats) {
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA(format)))
        << format;
  }
}

TEST(ClipboardTest, SaveKeepsEveryFormatAndRestoresOnlyWhatChanged) {
  // Every format comes back byte for byte, the one rendered on request too,
  // with text or without.
  for (const wchar_t* text :
       {L"сохранено \xD83D\xDE00", L"", static_cast<const wchar_t*>(nullptr)}) {
    ASSERT_TRUE(PutOtherFormats(text));
    SaveClipboard();
    ASSERT_TRUE(WriteClipboardText(L"copied over"));
    RestoreSavedClipboard();
    EXPECT_EQ(ReadClipboardText(), text ? Text(text) : std::nullopt);
    for (const char* format : kOtherFormats) {
      EXPECT_EQ(Bytes(format), OtherBytes(format)) << format;
    }
    EXPECT_EQ(Bytes("KorvexTestLate"), std::string("late", 5));
    EXPECT_FALSE(HasSavedClipboard());
  }
  // Not changed since the save (a copy that copied nothing), or restored
  // already: nothing is written.
  ASSERT_TRUE(WriteClipboardText(L"untouched"));
  SaveClipboard();
  const DWORD sequence = GetClipboardSequenceNumber();
  RestoreSavedClipboard();
  RestoreSavedClipboard();
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
}

TEST(ClipboardTest, ClipboardHeldByAnotherWindowIsGivenUpAfterRetries) {
  ASSERT_TRUE(WriteClipboardText(L"before"));  // a read would find text
  const DWORD sequence = GetClipboardSequenceNumber();
  const HWND holder = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0,
                                      HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_TRUE(OpenClipboard(holder));
  // A read and a write from another thread: each retried for a while, then
  // given up.
  bool read = true, written = true;
  ULONGLONG spent = 0;
  std::thread([&] {
    const ULONGLONG start = GetTickCount64();
    read = ReadClipboardText().has_value();
    written = WriteClipboardText(L"refused");
    spent = GetTickCount64() - start;
  }).join();
  CloseClipboard();
  DestroyWindow(holder);
  EXPECT_FALSE(read || written);
  EXPECT_GE(spent, 160u);
  EXPECT_LT(spent, 4000u);
  // The refused write left the clipboard as it was.
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
}

}  // namespace
