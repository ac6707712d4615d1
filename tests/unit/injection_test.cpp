// Input synthesis against real windows of this process: an edit control
// receives what is typed, and a low-level keyboard hook of the test's own
// sees every event that was sent.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "injection/clipboard.h"
#include "injection/input_synthesis.h"
#include "test_support.h"

using test_support::PumpUntil;

namespace {

struct SeenEvent {
  DWORD vk;
  DWORD scan;
  DWORD flags;
  ULONG_PTR extra;
  bool up() const { return (flags & LLKHF_UP) != 0; }
};

std::vector<SeenEvent> seen;

// The virtual keys of the key-down events seen.
std::vector<DWORD> Downs() {
  std::vector<DWORD> downs;
  for (const SeenEvent& event : seen) {
    if (!event.up()) downs.push_back(event.vk);
  }
  return downs;
}

LRESULT CALLBACK RecordKeys(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
    seen.push_back({info->vkCode, info->scanCode, info->flags,
                    info->dwExtraInfo});
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

std::wstring TextOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(window, &text[0], length + 1)));
  return text;
}

class InjectionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = instance;
    window_class.lpszClassName = L"KorvexInjectionTest";
    RegisterClassW(&window_class);
    window_ = CreateWindowExW(0, L"KorvexInjectionTest", L"injection test",
                              WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 500, 120,
                              nullptr, nullptr, instance, nullptr);
    ASSERT_NE(window_, nullptr);
    edit_ = CreateWindowExW(0, L"EDIT", L"",
                            WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL,
                            10, 10, 460, 30, window_, nullptr, instance,
                            nullptr);
    Focus(window_, edit_);
    hook_ = SetWindowsHookExW(WH_KEYBOARD_LL, RecordKeys, instance, 0);
    ASSERT_NE(hook_, nullptr);
    seen.clear();
  }

  void TearDown() override {
    UnhookWindowsHookEx(hook_);
    DestroyWindow(window_);
    if (GetKeyState(VK_CAPITAL) & 1) {
      TapKey(VK_CAPITAL);
      PumpUntil([] { return false; }, 100);
    }
  }

  static void Focus(HWND window, HWND control) {
    SetForegroundWindow(window);
    SetFocus(control);
    PumpUntil([&] { return GetForegroundWindow() == window; }, 2000);
  }

  // Injects from a worker thread, as the service does, while this thread
  // pumps so that the hook and the edit control see the input.
  void Inject(const std::function<void()>& work) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
      work();
      done = true;
    });
    PumpUntil([&] { return done.load(); }, 20000);
    worker.join();
    PumpUntil([] { return false; }, 150);
  }

  void SetEditText(const wchar_t* text) {
    SetWindowTextW(edit_, text);
    const LPARAM end = static_cast<LPARAM>(wcslen(text));
    SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(end), end);
    seen.clear();
  }

  HWND window_ = nullptr;
  HWND edit_ = nullptr;
  HHOOK hook_ = nullptr;
};

TEST_F(InjectionTest, TypedTextArrivesExactlyAndEveryEventCarriesTheMarker) {
  const std::wstring texts[] = {
      L"Hello, World 123",
      L"привет, мир",
      L"smile \U0001F600 done",
      L"-=[];',./\\` !@#$%^&*()_+{}:\"<>?|~",
  };
  for (const std::wstring& text : texts) {
    SetEditText(L"");
    Inject([&] { TypeText(text, 0, false); });
    EXPECT_EQ(TextOf(edit_), text);
    ASSERT_FALSE(seen.empty());
    for (const SeenEvent& event : seen) {
      EXPECT_EQ(event.extra, kInjectionMarker);
      EXPECT_NE(event.flags & LLKHF_INJECTED, 0u);
    }
  }
  // Letters go as key strokes; the Cyrillic text (not on the US layout) and
  // the surrogate pair as Unicode events, one unit a down/up pair.
  SetEditText(L"");
  Inject([] { TypeText(L"a\U0001F600", 0, false); });
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[0].vk, static_cast<DWORD>('A'));
  EXPECT_TRUE(seen[1].up());
  // Wine's hook does not flag the up half of a Unicode event, so the pairs
  // are told apart by order only.
  const DWORD units[] = {0xD83D, 0xD83D, 0xDE00, 0xDE00};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(seen[2 + i].vk, static_cast<DWORD>(VK_PACKET));
    EXPECT_EQ(seen[2 + i].scan, units[i]);
  }

  // Nothing at all for empty text.
  SetEditText(L"kept");
  Inject([] { TypeText(L"", 0, false); });
  EXPECT_TRUE(seen.empty());
  EXPECT_EQ(TextOf(edit_), L"kept");
}

TEST_F(InjectionTest, CapsLockInvertsShiftForLettersOnly) {
  // The toggle is read on this thread, which reads the keyboard input, and
  // handed to the worker that types: the worker's own view is stale.
  TapKey(VK_CAPITAL);
  PumpUntil([] { return (GetKeyState(VK_CAPITAL) & 1) != 0; }, 2000);
  ASSERT_NE(GetKeyState(VK_CAPITAL) & 1, 0);
  SetEditText(L"");
  const bool caps = (GetKeyState(VK_CAPITAL) & 1) != 0;
  Inject([caps] { TypeText(L"aB1!", 0, caps); });
  EXPECT_EQ(TextOf(edit_), L"aB1!");
  // "a" goes with Shift under Caps Lock, "B" without it; digits and
  // punctuation keep their own Shift state.
  EXPECT_EQ(Downs(),
            (std::vector<DWORD>{VK_SHIFT, 'A', 'B', '1', VK_SHIFT, '1'}));
}

TEST_F(InjectionTest, BackspacesRemoveExactlyTheCountAndChordsReachTheControl) {
  SetEditText(L"abcdefgh");
  Inject([] { SendBackspaces(3, 0); });
  EXPECT_EQ(TextOf(edit_), L"abcde");
  EXPECT_EQ(seen.size(), 6u);
  for (const SeenEvent& event : seen) {
    EXPECT_EQ(event.vk, static_cast<DWORD>(VK_BACK));
    EXPECT_EQ(event.extra, kInjectionMarker);
  }
  for (int count : {0, -4}) {
    SetEditText(L"abc");
    Inject([count] { SendBackspaces(count, 0); });
    EXPECT_TRUE(seen.empty());
    EXPECT_EQ(TextOf(edit_), L"abc");
  }

  // Copy of a selection: Ctrl down, C down, C up, Ctrl up.
  SetEditText(L"copy me");
  SendMessageW(edit_, EM_SETSEL, 0, -1);
  ASSERT_TRUE(WriteClipboardText(L"before"));
  Inject([] { SendCtrlChord('C', 1); });
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(Downs(), (std::vector<DWORD>{VK_CONTROL, 'C'}));
  EXPECT_TRUE(seen[2].up() && seen[3].up() && seen[3].vk == VK_CONTROL);
  EXPECT_EQ(ReadClipboardText().value_or(L"<none>"), L"copy me");
}

TEST_F(InjectionTest, ShiftHeldByTheUserIsLetGoAndPressedAgain) {
  struct Side { WORD vk, scan, other; };
  for (const Side side : {Side{VK_LSHIFT, 0x2A, VK_RSHIFT},
                          Side{VK_RSHIFT, 0x36, VK_LSHIFT}}) {
    SCOPED_TRACE(side.vk);
    // Wine takes a Shift event for the right one only with the extended-key
    // flag (Windows goes by the key), so it ignores the service's key-up of
    // the user's right Shift, which the user then lets go of here.
    const DWORD flag = side.vk == VK_RSHIFT ? KEYEVENTF_EXTENDEDKEY : 0;
    const bool wine_keeps_it = flag && test_support::UnderWine();
    auto user = [&](DWORD up) {  // input without the marker
      INPUT key = KeyboardInput(side.vk, side.scan, flag | up, 0);
      Inject([&] { SendInput(1, &key, sizeof(key)); });
    };
    user(0);
    ASSERT_LT(GetAsyncKeyState(side.vk), 0);
    ASSERT_FALSE(WasShiftReleasedByInjection(side.vk));
    SetEditText(L"");
    Inject([] { TypeText(L"x", 0, false); });
    // Typed in lower case: the Shift was let go of first.
    if (!wine_keeps_it) {
      EXPECT_EQ(TextOf(edit_), L"x");
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen[0].vk == side.vk && seen[0].up());
    EXPECT_EQ(seen[0].extra, kInjectionMarker);
    EXPECT_TRUE(WasShiftReleasedByInjection(side.vk));
    EXPECT_FALSE(WasShiftReleasedByInjection(side.other));
    EXPECT_FALSE(WasShiftReleasedByInjection('A'));
    if (wine_keeps_it) user(KEYEVENTF_KEYUP);

    bool down[256] = {};
    down[side.vk] = true;
    seen.clear();
    Inject([&] { RestoreReleasedShiftKeys(down); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].vk == side.vk && !seen[0].up());
    EXPECT_EQ(seen[0].scan, side.scan);
    EXPECT_EQ(seen[0].extra, kInjectionMarker);
    EXPECT_FALSE(WasShiftReleasedByInjection(side.vk));
    EXPECT_TRUE(AnyModifierHeld());

    // Taken once: a second call presses nothing; nor does one after the
    // user let go.
    for (bool held : {true, false}) {
      if (!held) Inject([] { ReleaseHeldModifiers(); });
      EXPECT_EQ(AnyModifierHeld(), held);
      down[side.vk] = held;
      seen.clear();
      Inject([&] { RestoreReleasedShiftKeys(down); });
      EXPECT_TRUE(seen.empty());
    }
  }
}

TEST_F(InjectionTest, WindowWithoutUnicodeGetsThePasteAndTheClipboardBack) {
  HWND ansi_window =
      CreateWindowExA(0, "STATIC", "ansi", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                      200, 400, 100, nullptr, nullptr, nullptr, nullptr);
  HWND ansi_edit =
      CreateWindowExA(0, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10,
                      360, 30, ansi_window, nullptr, nullptr, nullptr);
  ASSERT_NE(ansi_edit, nullptr);
  ASSERT_FALSE(IsWindowUnicode(ansi_edit));
  Focus(ansi_window, ansi_edit);
  ASSERT_TRUE(WriteClipboardText(L"the user's text"));
  seen.clear();

  // "é" has no key on the US layout, so the text goes by Ctrl+V.
  const DWORD start = GetTickCount();
  Inject([] { TypeText(L"caf\u00e9 ok", 0, false); });
  const DWORD elapsed = GetTickCount() - start;
  char text[64] = {};
  GetWindowTextA(ansi_edit, text, 64);
  EXPECT_STREQ(text, "caf\xe9 ok");
  for (const SeenEvent& event : seen) {
    EXPECT_EQ(event.extra, kInjectionMarker);
  }
  EXPECT_EQ(Downs(), (std::vector<DWORD>{VK_CONTROL, 'V'}));
  // The paste waits for the target before the user's text goes back.
  EXPECT_GE(elapsed, 400u);
  EXPECT_EQ(ReadClipboardText().value_or(L"<none>"), L"the user's text");
  EXPECT_FALSE(TakeSavedClipboard().has_value());

  // Typeable text is typed as keys even here.
  SetWindowTextA(ansi_edit, "");
  seen.clear();
  Inject([] { TypeText(L"plain", 0, false); });
  GetWindowTextA(ansi_edit, text, 64);
  EXPECT_STREQ(text, "plain");
  EXPECT_EQ(seen.size(), 10u);
  DestroyWindow(ansi_window);
}

}  // namespace
