// The clipboard service against Wine's real clipboard.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "injection/clipboard.h"
#include "test_support.h"

namespace {

// Another owner's formats, each holding its own name as bytes.
const char* const kOtherFormats[] = {"KorvexTestPrivate", "Rich Text Format"};

LRESULT CALLBACK RenderLate(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message != WM_RENDERFORMAT) return DefWindowProcW(window, message, wparam, lparam);
  test_support::PutClipboardData(static_cast<UINT>(wparam), "late", 5);
  return 0;
}

// Leaves a private format, rich text, one format rendered only on request
// and, with |text|, that text on the clipboard, as another window's.
bool PutOtherFormats(const wchar_t* text = nullptr) {
  static const HWND owner = [] {
    HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RenderLate));
    return window;
  }();
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool put = true;
  for (const char* format : kOtherFormats) {
    put = test_support::PutClipboardData(RegisterClipboardFormatA(format), format,
                                         std::strlen(format)) && put;
  }
  if (text) {
    put = test_support::PutClipboardData(CF_UNICODETEXT, text,
                                         (wcslen(text) + 1) * sizeof(wchar_t)) && put;
  }
  SetClipboardData(RegisterClipboardFormatA("KorvexTestLate"), nullptr);
  CloseClipboard();
  return put;
}

// What the clipboard holds under the format named |format|, or "<none>".
std::string Bytes(const char* format) {
  return test_support::ClipboardBytes(RegisterClipboardFormatA(format));
}

TEST(ClipboardTest, SaveKeepsEveryFormatAndRestoresOnlyWhatChanged) {
  // A write replaces every format another owner left; after the restore,
  // every format comes back byte for byte, the one rendered on request too,
  // with text or without (no text is no text, not an empty one).
  for (const wchar_t* text :
       {L"сохранено \xD83D\xDE00", L"", static_cast<const wchar_t*>(nullptr)}) {
    ASSERT_TRUE(PutOtherFormats(text));
    SaveClipboard();
    ASSERT_TRUE(WriteClipboardText(L"copied over"));
    for (const char* format : kOtherFormats) EXPECT_EQ(Bytes(format), "<none>");
    RestoreSavedClipboard();
    EXPECT_EQ(ReadClipboardText(), text ? std::optional<std::wstring>(text) : std::nullopt);
    for (const char* format : kOtherFormats) EXPECT_EQ(Bytes(format), format);
    EXPECT_EQ(Bytes("KorvexTestLate"), std::string("late", 5));
    EXPECT_FALSE(HasSavedClipboard());
  }
  // Not changed since the save (a copy that copied nothing): nothing is written.
  SaveClipboard();
  const DWORD sequence = GetClipboardSequenceNumber();
  RestoreSavedClipboard();
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
}

TEST(ClipboardTest, TextIsReadWithinItsBlockAndGivenUpWhenAnotherWindowHoldsIt) {
  // Wine ends every block it stores with a NUL, so the bound is tried on a
  // block of its own: unterminated, an odd size, non-zero units after it.
  EXPECT_EQ(TextWithinBlock(L"abcGUARD", 7), L"abc");
  EXPECT_EQ(TextWithinBlock(nullptr, 8), L"");

  ASSERT_TRUE(WriteClipboardText(L"before"));  // a read would find text
  const DWORD sequence = GetClipboardSequenceNumber();
  const HWND holder = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, nullptr, nullptr);
  ASSERT_TRUE(OpenClipboard(holder));
  // A read and a write from another thread: each retried for a while, then
  // given up; the refused write left the clipboard as it was.
  bool read = true, written = true;
  ULONGLONG spent = GetTickCount64();
  std::thread([&] {
    read = ReadClipboardText().has_value();
    written = WriteClipboardText(L"refused");
  }).join();
  spent = GetTickCount64() - spent;
  CloseClipboard();
  DestroyWindow(holder);
  EXPECT_FALSE(read || written);
  EXPECT_GE(spent, 160u);
  EXPECT_LT(spent, 4000u);
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
}

}  // namespace
