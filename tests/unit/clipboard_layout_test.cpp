// The clipboard service against Wine's real clipboard, and the layout choice
// fed with fake layouts through its seam (Wine neither reports keys per layout
// nor switches layouts).

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "injection/clipboard.h"
#include "injection/layout_switch.h"
#include "test_support.h"

using Text = std::optional<std::wstring>;

namespace {

const HKL kRussian = reinterpret_cast<HKL>(uintptr_t{0x04190419});
const HKL kEnglish = reinterpret_cast<HKL>(uintptr_t{0x04090409});
const HKL kDvorak = reinterpret_cast<HKL>(uintptr_t{0xF0010409});

using Post = std::tuple<HWND, UINT, WPARAM, LPARAM>;

// What the fake layout functions answer, and what they were asked.
struct FakeLayouts {
  std::vector<HKL> installed;
  int fetch_limit = -1;  // the fetch hands out at most this many
  HKL thread_layout = kRussian;
  HKL lands_on = nullptr;  // where a post leaves the thread; null: as asked
  int polls_to_switch = 0;
  HKL pending = nullptr;
  std::map<std::pair<HKL, WCHAR>, SHORT> keys;
  std::vector<DWORD> threads_asked;
  std::vector<Post> posts;
} fake;

int WINAPI FakeLayoutList(int count, HKL* list) {
  int n = static_cast<int>(fake.installed.size());
  if (count == 0) return n;
  if (count < n) n = count;
  if (fake.fetch_limit >= 0 && fake.fetch_limit < n) n = fake.fetch_limit;
  for (int i = 0; i < n; ++i) list[i] = fake.installed[i];
  return n;
}

HKL WINAPI FakeGetLayout(DWORD thread_id) {
  fake.threads_asked.push_back(thread_id);
  if (fake.pending && fake.polls_to_switch-- <= 0) {
    fake.thread_layout = fake.pending;
    fake.pending = nullptr;
  }
  return fake.thread_layout;
}

SHORT WINAPI FakeScan(WCHAR unit, HKL layout) {
  auto found = fake.keys.find({layout, unit});
  return found == fake.keys.end() ? SHORT{-1} : found->second;
}

BOOL WINAPI FakePost(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  fake.posts.push_back({window, message, wparam, lparam});
  fake.pending = fake.lands_on ? fake.lands_on : reinterpret_cast<HKL>(lparam);
  return TRUE;
}

// |layout| types each unit of |units| with the modifier bits |state|.
void Give(HKL layout, const std::wstring& units, unsigned state = 0) {
  for (wchar_t unit : units) {
    fake.keys[{layout, unit}] = static_cast<SHORT>((state << 8) | 0x41);
  }
}

// Russian is current and types Cyrillic; English types Latin.
void Reset(std::vector<HKL> installed) {
  fake = FakeLayouts();
  fake.installed = std::move(installed);
  Give(kRussian, L"абвгдеёжзийклмнопрстуфхцчшщъыьэюя ");
  Give(kEnglish, L"abcdefghijklmnopqrstuvwxyz ");
}

// A visible window of this test with a focused edit control in front.
class LayoutChoiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = layout_functions;
    layout_functions = {FakeLayoutList, FakeGetLayout, FakeScan, FakePost};
    HINSTANCE instance = GetModuleHandleW(nullptr);
    window_ = CreateWindowExW(0, L"STATIC", L"layout test",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 400, 100,
                              nullptr, nullptr, instance, nullptr);
    edit_ = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 5, 5, 300,
                            25, window_, nullptr, instance, nullptr);
    ASSERT_NE(edit_, nullptr);
    SetForegroundWindow(window_);
    SetFocus(edit_);
    ASSERT_TRUE(test_support::PumpUntil(
        [&] { return GetForegroundWindow() == window_; }, 2000));
    ASSERT_EQ(GetFocus(), edit_);
  }

  void TearDown() override {
    layout_functions = saved_;
    DestroyWindow(window_);
  }

  KeyboardLayoutFunctions saved_ = {};
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
};

TEST_F(LayoutChoiceTest, ScoresCountUnitsReachableWithoutHigherModifiers) {
  Reset({kRussian, kEnglish});
  EXPECT_EQ(CountTypeableChars(L"привет, world", kRussian), 7);
  EXPECT_EQ(CountTypeableChars(L"привет, world", kEnglish), 6);
  // Shift, Ctrl and Alt in any mix; no higher modifier, no missing key.
  Give(kDvorak, L"A", 0x01);
  Give(kDvorak, L"€", 0x07);
  Give(kDvorak, L"ß", 0x08);
  Give(kDvorak, L"µ", 0x10);
  Give(kDvorak, L"¶", 0x80);
  EXPECT_EQ(CountTypeableChars(L"A€ßµ¶", kDvorak), 2);
  // Units, not characters: each half of a surrogate pair is asked for.
  const std::wstring grin = L"\xD83D\xDE00";
  Give(kDvorak, grin);
  EXPECT_EQ(CountTypeableChars(grin + grin, kDvorak), 4);
}

TEST_F(LayoutChoiceTest, AsksForAStrictlyBetterLayoutAndWaitsForIt) {
  // The installed layouts, how many the fetch hands out (-1: all), what
  // Dvorak types, the text, and the layout chosen; Russian is current.
  struct Case {
    std::vector<HKL> installed;
    int fetch_limit;
    const wchar_t* dvorak;
    const wchar_t* text;
    HKL chosen;
  };
  const Case cases[] = {
      {{kEnglish, kRussian, kDvorak}, -1, L"", L"привет мир", kRussian},
      {{kRussian, kEnglish}, -1, L"", L"hello world", kEnglish},
      // Only the current one, none listed, none handed out by the fetch, the
      // better one not among those handed out.
      {{kRussian}, -1, L"", L"hello", kRussian},
      {{}, -1, L"", L"hello", kRussian},
      {{kRussian, kEnglish}, 0, L"", L"hello", kRussian},
      {{kRussian, kDvorak, kEnglish}, 2, L"", L"hello", kRussian},
      // The current one counts even when unlisted.
      {{kEnglish}, -1, L"", L"мир", kRussian},
      {{kEnglish}, -1, L"", L"world", kEnglish},
      // A tie with the current one keeps it; of two equally better ones the
      // earlier in the list wins, unless a later one is strictly better.
      {{kEnglish, kRussian}, -1, L"", L" ", kRussian},
      {{kRussian, kDvorak, kEnglish}, -1, L"tie", L"tie", kDvorak},
      {{kEnglish, kRussian, kDvorak}, -1, L"tie!", L"tie!", kDvorak}};
  for (const Case& c : cases) {
    Reset(c.installed);
    fake.fetch_limit = c.fetch_limit;
    Give(kDvorak, c.dvorak);
    EXPECT_EQ(SelectLayoutForText(c.text), c.chosen) << c.text;
    // Only a change is asked for, at the foreground thread's focus.
    EXPECT_EQ(fake.posts.size(), c.chosen == kRussian ? 0u : 1u) << c.text;
    for (const Post& post : fake.posts) {
      EXPECT_EQ(post, Post(edit_, 0x50, 0, reinterpret_cast<LPARAM>(c.chosen)));
    }
    for (DWORD thread : fake.threads_asked) {
      EXPECT_EQ(thread, GetCurrentThreadId());
    }
  }

  // A switch that shows only after a few polls is waited for, no longer.
  Reset({kRussian, kEnglish});
  fake.polls_to_switch = 3;
  EXPECT_EQ(SelectLayoutForText(L"abc"), kEnglish);
  EXPECT_EQ(fake.posts.size(), 1u);
  EXPECT_LT(fake.threads_asked.size(), 8u);
  // Never switching, and switching to another layout than the one asked
  // for: after the wait, the thread's layout is what the text is typed with.
  for (HKL lands_on : {kRussian, kDvorak}) {
    Reset({kRussian, kEnglish, kDvorak});
    fake.lands_on = lands_on;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(SelectLayoutForText(L"hello"), lands_on);
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 200u);
    EXPECT_LE(elapsed, 1500u);
    EXPECT_EQ(fake.posts.size(), 1u);
  }

  // With nothing focused the window itself is asked.
  SetFocus(nullptr);
  Reset({kRussian, kEnglish});
  EXPECT_EQ(SelectLayoutForText(L"hello"), kEnglish);
  ASSERT_EQ(fake.posts.size(), 1u);
  EXPECT_EQ(std::get<0>(fake.posts[0]), window_);

  // No window in front: the current layout is kept without a wait.
  ShowWindow(window_, SW_HIDE);
  ASSERT_TRUE(test_support::PumpUntil(
      [] { return GetForegroundWindow() == nullptr; }, 2000));
  Reset({kRussian, kEnglish});
  EXPECT_EQ(SelectLayoutForText(L"hello"), kRussian);
  EXPECT_TRUE(fake.posts.empty());
  EXPECT_EQ(fake.threads_asked, std::vector<DWORD>{0});
}

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
  ASSERT_TRUE(WriteClipboardText(L"before"));
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
  EXPECT_EQ(ReadClipboardText(), Text(L"before"));
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
}

}  // namespace
