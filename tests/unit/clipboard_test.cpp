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

// Leaves only a private format and rich text on the clipboard, as another
// window's.
bool PutOnlyOtherFormats() {
  static const HWND owner = CreateWindowExW(
      0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool put = true;
  for (const char* format : {"KorvexTestPrivate", "Rich Text Format"}) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, 8);
    std::memcpy(GlobalLock(memory), "{\\rtf1}", 8);
    GlobalUnlock(memory);
    put = SetClipboardData(RegisterClipboardFormatA(format), memory) && put;
  }
  CloseClipboard();
  return put;
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
  ASSERT_TRUE(PutOnlyOtherFormats());
  EXPECT_EQ(ReadClipboardText(), std::nullopt);

  // A write replaces every format another owner left.
  ASSERT_TRUE(WriteClipboardText(L"count me"));
  EXPECT_EQ(ReadClipboardText(), Text(L"count me"));
  for (const char* format : {"KorvexTestPrivate", "Rich Text Format"}) {
    EXPECT_FALSE(IsClipboardFormatAvailable(RegisterClipboardFormatA(format)))
        << format;
  }
}

TEST(ClipboardTest, SavedTextIsRestoredOnceAndOnlyWhenThereWasText) {
  // An empty text is a text too.
  for (const wchar_t* saved : {L"сохранено \xD83D\xDE00", L""}) {
    ASSERT_TRUE(WriteClipboardText(saved));
    SaveClipboard();
    ASSERT_TRUE(WriteClipboardText(L"pasted over"));
    RestoreSavedClipboard();
    EXPECT_EQ(ReadClipboardText(), Text(saved));
  }
  // The save already restored: nothing is written.
  ASSERT_TRUE(WriteClipboardText(L"untouched"));
  const DWORD sequence = GetClipboardSequenceNumber();
  RestoreSavedClipboard();
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);

  // A new save replaces the old one, even with no text: the restore then
  // leaves what was written since.
  ASSERT_TRUE(WriteClipboardText(L"first"));
  SaveClipboard();
  ASSERT_TRUE(PutOnlyOtherFormats());
  SaveClipboard();
  ASSERT_TRUE(WriteClipboardText(L"written after"));
  RestoreSavedClipboard();
  EXPECT_EQ(ReadClipboardText(), Text(L"written after"));
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
