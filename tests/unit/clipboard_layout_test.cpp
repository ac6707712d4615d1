// The clipboard service against Wine's real clipboard, and the layout choice
// fed with fake layouts through its seam (Wine neither reports keys per layout
// nor switches layouts).

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
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

struct Post {
  HWND window;
  UINT message;
  WPARAM wparam;
  LPARAM lparam;
};

// What the fake layout functions answer, and what they were asked.
struct FakeLayouts {
  std::vector<HKL> installed;
  int fetch_limit = -1;  // the fetch hands out at most this many
  HKL thread_layout = kRussian;
  bool switches = true;    // a post makes the thread change layout
  HKL lands_on = nullptr;  // where a switch ends; null: the requested one
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
  if (fake.switches) {
    fake.pending = fake.lands_on ? fake.lands_on : reinterpret_cast<HKL>(lparam);
  }
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

LPARAM Handle(HKL layout) { return reinterpret_cast<LPARAM>(layout); }

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

  // The current layout is kept and nobody is asked to switch.
  static void ExpectKept(const std::wstring& text) {
    fake.posts.clear();
    EXPECT_EQ(SelectLayoutForText(text), kRussian);
    EXPECT_TRUE(fake.posts.empty());
  }

  KeyboardLayoutFunctions saved_ = {};
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
};

TEST_F(LayoutChoiceTest, ScoresCountUnitsReachableWithoutHigherModifiers) {
  for (SHORT scan : {0x0041, 0x0141, 0x0241, 0x0441, 0x0641, 0x0741, 0x00FF}) {
    EXPECT_TRUE(IsTypeableScan(scan)) << std::hex << scan;
  }
  for (int scan : {0x0841, 0x1041, 0x2041, 0x4041, 0x8041, 0xFF41, 0xFFFF}) {
    EXPECT_FALSE(IsTypeableScan(static_cast<SHORT>(scan))) << std::hex << scan;
  }

  Reset({kRussian, kEnglish});
  EXPECT_EQ(CountTypeableChars(L"", kEnglish), 0);
  EXPECT_EQ(CountTypeableChars(L"hello", kEnglish), 5);
  EXPECT_EQ(CountTypeableChars(L"привет, world", kRussian), 7);
  EXPECT_EQ(CountTypeableChars(L"привет, world", kEnglish), 6);
  Give(kDvorak, L"A", 0x01);
  Give(kDvorak, L"€", 0x06);
  Give(kDvorak, L"ß", 0x08);
  Give(kDvorak, L"µ", 0x10);
  EXPECT_EQ(CountTypeableChars(L"A€ßµ", kDvorak), 2);
  // Units, not characters: each half of a surrogate pair is asked for.
  const std::wstring grin = L"\xD83D\xDE00";
  EXPECT_EQ(CountTypeableChars(grin, kDvorak), 0);
  Give(kDvorak, grin);
  EXPECT_EQ(CountTypeableChars(grin + grin, kDvorak), 4);

  // A layout reaching the signs only with AltGr beats one whose keys for
  // them need a state of 0x08.
  Reset({kRussian, kDvorak});
  Give(kDvorak, L"€£", 0x06);
  Give(kRussian, L"€£", 0x08);
  EXPECT_EQ(SelectLayoutForText(L"€£"), kDvorak);
  ASSERT_EQ(fake.posts.size(), 1u);
  EXPECT_EQ(fake.posts[0].lparam, Handle(kDvorak));
}

TEST_F(LayoutChoiceTest, AsksTheFocusedControlOnlyForAStrictlyBetterLayout) {
  Reset({kEnglish, kRussian, kDvorak});
  ExpectKept(L"привет мир");
  ASSERT_FALSE(fake.threads_asked.empty());
  EXPECT_EQ(fake.threads_asked[0], GetCurrentThreadId());

  // Latin text: English is asked for, at the foreground thread's focus.
  Reset({kRussian, kEnglish});
  EXPECT_EQ(SelectLayoutForText(L"hello world"), kEnglish);
  ASSERT_EQ(fake.posts.size(), 1u);
  EXPECT_EQ(fake.posts[0].window, edit_);
  EXPECT_EQ(fake.posts[0].message, 0x50u);
  EXPECT_EQ(fake.posts[0].wparam, 0u);
  EXPECT_EQ(fake.posts[0].lparam, Handle(kEnglish));
  for (DWORD thread : fake.threads_asked) {
    EXPECT_EQ(thread, GetCurrentThreadId());
  }
  // A switch that shows only after a few polls is waited for, no longer.
  Reset({kRussian, kEnglish});
  fake.polls_to_switch = 3;
  EXPECT_EQ(SelectLayoutForText(L"abc"), kEnglish);
  EXPECT_EQ(fake.posts.size(), 1u);
  EXPECT_LT(fake.threads_asked.size(), 8u);

  // Only the current layout, none listed, none handed out by the fetch,
  // the better one not among those handed out, or the current one unlisted.
  const std::tuple<std::vector<HKL>, int, const wchar_t*> kept[] = {
      {{kRussian}, -1, L"hello"}, {{}, -1, L"hello"},
      {{kRussian, kEnglish}, 0, L"hello"},
      {{kRussian, kDvorak, kEnglish}, 2, L"hello"}, {{kEnglish}, -1, L"мир"}};
  for (const auto& [installed, fetch_limit, text] : kept) {
    Reset(installed);
    fake.fetch_limit = fetch_limit;
    ExpectKept(text);
  }
  EXPECT_EQ(SelectLayoutForText(L"world"), kEnglish);

  // Ties with the current one keep it.
  Reset({kEnglish, kRussian});
  Give(kEnglish, L"!");
  Give(kRussian, L"!");
  ExpectKept(L"я!");
  ExpectKept(L"!");
  // Two others equally better: the earlier in list order, either order.
  for (const auto& order : {std::vector<HKL>{kRussian, kDvorak, kEnglish},
                            std::vector<HKL>{kEnglish, kRussian, kDvorak}}) {
    Reset(order);
    Give(kDvorak, L"tie");
    const HKL first = order[0] == kRussian ? kDvorak : kEnglish;
    EXPECT_EQ(SelectLayoutForText(L"tie"), first);
    ASSERT_EQ(fake.posts.size(), 1u);
    EXPECT_EQ(fake.posts[0].lparam, Handle(first));
  }
  // A later, strictly better one beats an earlier one.
  Reset({kEnglish, kRussian, kDvorak});
  Give(kDvorak, L"tie!");
  EXPECT_EQ(SelectLayoutForText(L"tie!"), kDvorak);

  // With nothing focused the window itself is asked.
  EXPECT_EQ(FocusedControlOf(window_, GetCurrentThreadId()), edit_);
  SetFocus(nullptr);
  EXPECT_EQ(FocusedControlOf(window_, GetCurrentThreadId()), window_);
  Reset({kRussian, kEnglish});
  EXPECT_EQ(SelectLayoutForText(L"hello"), kEnglish);
  ASSERT_EQ(fake.posts.size(), 1u);
  EXPECT_EQ(fake.posts[0].window, window_);

  // No window in front: the current layout is kept without a wait.
  ShowWindow(window_, SW_HIDE);
  ASSERT_TRUE(test_support::PumpUntil(
      [] { return GetForegroundWindow() == nullptr; }, 2000));
  Reset({kRussian, kEnglish});
  ExpectKept(L"hello");
  EXPECT_EQ(fake.threads_asked, std::vector<DWORD>{0});
}

TEST_F(LayoutChoiceTest, UnansweredRequestEndsWithTheThreadsActualLayout) {
  // Never switching, and switching to another layout than the one asked
  // for: after the wait, the thread's layout is what the text is typed with.
  for (HKL lands_on : {kRussian, kDvorak}) {
    Reset({kRussian, kEnglish, kDvorak});
    fake.switches = lands_on != kRussian;
    fake.lands_on = lands_on;
    fake.polls_to_switch = 1;
    const ULONGLONG start = GetTickCount64();
    EXPECT_EQ(SelectLayoutForText(L"hello"), lands_on);
    const ULONGLONG elapsed = GetTickCount64() - start;
    EXPECT_GE(elapsed, 200u);
    EXPECT_LE(elapsed, 1500u);
    ASSERT_EQ(fake.posts.size(), 1u);
    EXPECT_EQ(fake.posts[0].lparam, Handle(kEnglish));
  }
}

struct Block {
  UINT format;
  const void* data;
  size_t bytes;
};

// Puts exactly |blocks| on the clipboard, as another window's.
bool PutOnly(std::initializer_list<Block> blocks) {
  static const HWND owner = CreateWindowExW(
      0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool put = true;
  for (const Block& block : blocks) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, block.bytes);
    if (!memory) {
      put = false;
      break;
    }
    std::memcpy(GlobalLock(memory), block.data, block.bytes);
    GlobalUnlock(memory);
    if (!SetClipboardData(block.format, memory)) {
      GlobalFree(memory);
      put = false;
    }
  }
  CloseClipboard();
  return put;
}

const UINT kPrivate = RegisterClipboardFormatW(L"KorvexTestPrivate");

bool PutNonTextOnly() { return PutOnly({{kPrivate, "private", 8}}); }

TEST(ClipboardTest, TextRoundTripsAndIsReadOnlyWithinItsBlock) {
  for (const wchar_t* text : {L"Съешь же ещё этих мягких булок",
                              L"smile \xD83D\xDE00 and \xD834\xDD1E end", L""}) {
    ASSERT_TRUE(WriteClipboardText(text));
    EXPECT_EQ(ReadClipboardText(), Text(text));  // "" is present, not absent
  }
  ASSERT_TRUE(WriteClipboardText(std::wstring(L"ab\0cd", 5)));
  EXPECT_EQ(ReadClipboardText(), Text(L"ab"));

  // Wine ends every block it stores with a NUL, so the bound is tried on a
  // block of its own: unterminated, with non-zero units after it.
  const wchar_t block[] = L"abcGUARD";
  EXPECT_EQ(TextWithinBlock(block, 6), L"abc");
  EXPECT_EQ(TextWithinBlock(block, 7), L"abc");
  EXPECT_EQ(TextWithinBlock(block, 1), L"");
  EXPECT_EQ(TextWithinBlock(nullptr, 8), L"");

  // No text on the clipboard is no text, not an empty one.
  ASSERT_TRUE(PutNonTextOnly());
  EXPECT_EQ(ReadClipboardText(), std::nullopt);

  // A write replaces every format another owner left; only the formats the
  // system derives from the text may stand beside it.
  const UINT rich = RegisterClipboardFormatW(L"Rich Text Format");
  ASSERT_TRUE(PutOnly({{kPrivate, "private", 8}, {rich, "{\\rtf1 x}", 10}}));
  const DWORD before = GetClipboardSequenceNumber();
  ASSERT_TRUE(WriteClipboardText(L"count me"));
  EXPECT_GT(GetClipboardSequenceNumber(), before);
  EXPECT_EQ(ReadClipboardText(), Text(L"count me"));
  ASSERT_TRUE(OpenClipboard(nullptr));
  for (UINT format = 0; (format = EnumClipboardFormats(format)) != 0;) {
    EXPECT_TRUE(format == CF_UNICODETEXT || format == CF_TEXT ||
                format == CF_OEMTEXT || format == CF_LOCALE)
        << format;
  }
  CloseClipboard();
}

TEST(ClipboardTest, SavedTextIsRestoredOnceAndOnlyWhenThereWasText) {
  TakeSavedClipboard();  // whatever an earlier test left
  // Nothing saved, or the save already restored: nothing is written.
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(WriteClipboardText(L"untouched"));
    const DWORD sequence = GetClipboardSequenceNumber();
    RestoreSavedClipboard();
    EXPECT_EQ(ReadClipboardText(), Text(L"untouched"));
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
    // An empty text is a text too.
    for (const wchar_t* saved : {L"сохранено \xD83D\xDE00", L""}) {
      ASSERT_TRUE(WriteClipboardText(saved));
      SaveClipboard();
      ASSERT_TRUE(WriteClipboardText(L"pasted over"));
      RestoreSavedClipboard();
      EXPECT_EQ(ReadClipboardText(), Text(saved));
    }
  }

  // A new save replaces the old one, even with no text: the restore then
  // leaves what was written since.
  ASSERT_TRUE(WriteClipboardText(L"first"));
  SaveClipboard();
  ASSERT_TRUE(PutNonTextOnly());
  SaveClipboard();
  ASSERT_TRUE(WriteClipboardText(L"written after"));
  RestoreSavedClipboard();
  EXPECT_EQ(ReadClipboardText(), Text(L"written after"));
  // A take empties the slot.
  SaveClipboard();
  EXPECT_EQ(TakeSavedClipboard(), Text(L"written after"));
  EXPECT_EQ(TakeSavedClipboard(), std::nullopt);
}

TEST(ClipboardTest, ClipboardHeldByAnotherThreadIsGivenUpAfterRetries) {
  ASSERT_TRUE(WriteClipboardText(L"before"));
  HANDLE opened = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> held{false};
  auto hold = [&](DWORD hold_ms) {
    ResetEvent(opened);
    ResetEvent(release);
    std::thread holder([&, hold_ms] {
      HWND owner = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0,
                                   HWND_MESSAGE, nullptr, nullptr, nullptr);
      held = owner && OpenClipboard(owner);
      SetEvent(opened);
      WaitForSingleObject(release, hold_ms);
      if (held) CloseClipboard();
      DestroyWindow(owner);
    });
    WaitForSingleObject(opened, 5000);
    return holder;
  };

  // Expected rather than asserted: the holder must still be joined.
  std::thread holder = hold(5000);
  EXPECT_TRUE(held.load());
  const DWORD sequence = GetClipboardSequenceNumber();
  for (bool write : {false, true}) {
    // Retried for a while, then given up.
    const ULONGLONG start = GetTickCount64();
    EXPECT_TRUE(write ? !WriteClipboardText(L"refused") : !ReadClipboardText());
    EXPECT_GE(GetTickCount64() - start, 80u);
    EXPECT_LT(GetTickCount64() - start, 2000u);
  }
  SetEvent(release);
  holder.join();
  // The refused write left the clipboard as it was.
  EXPECT_EQ(GetClipboardSequenceNumber(), sequence);
  EXPECT_EQ(ReadClipboardText(), Text(L"before"));
  EXPECT_TRUE(WriteClipboardText(L"after"));
  EXPECT_EQ(ReadClipboardText(), Text(L"after"));

  // Let go within the retry budget: a later attempt gets it.
  holder = hold(20);
  EXPECT_TRUE(held.load());
  EXPECT_EQ(ReadClipboardText(), Text(L"after"));
  holder.join();
  CloseHandle(opened);
  CloseHandle(release);
}

}  // namespace
