// Input synthesis against real windows of this process: the harness's edit
// control receives what is typed, and its low-level keyboard hook sees every
// event that was sent.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "injection/clipboard.h"
#include "injection/input_synthesis.h"
#include "keyboard_harness.h"
#include "test_support.h"

using namespace test_support;

namespace {

class InjectionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(h_.ready()); }
  KeyboardHarness h_;
};

TEST_F(InjectionTest, TextAndBackspacesArriveExactlyEachEventWithTheMarker) {
  const std::wstring texts[] = {
      L"Hello, World 123 -=[];',./\\` !@#$%^&*()_+{}:\"<>?|~",
      L"привет, мир",
      L"a\U0001F600",
  };
  std::vector<SeenKey> seen;
  for (const std::wstring& text : texts) {
    h_.SetEditText(L"");
    seen = h_.Inject([&] { TypeText(text, 0, false); });
    EXPECT_EQ(h_.EditText(), text);
    for (const SeenKey& key : seen) EXPECT_EQ(key.extra, kInjectionMarker);
  }
  // Letters go as key strokes; the Cyrillic text (not on the US layout) and
  // the surrogate pair as Unicode events, one unit a down/up pair.
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

  h_.SetEditText(L"abcdefgh");
  seen = h_.Inject([] { SendBackspaces(3, 0); });
  EXPECT_EQ(h_.EditText(), L"abcde");
  EXPECT_EQ(seen.size(), 6u);
  for (const SeenKey& key : seen) EXPECT_EQ(key.extra, kInjectionMarker);
}

TEST_F(InjectionTest, ShiftAndCtrlHeldByTheUserAreLetGoAndPressedAgain) {
  struct Side { WORD vk, scan, other; };
  for (const Side side : {Side{VK_LSHIFT, 0x2A, VK_RSHIFT},
                          Side{VK_RSHIFT, 0x36, VK_LSHIFT},
                          Side{VK_LCONTROL, 0x1D, VK_LSHIFT}}) {
    SCOPED_TRACE(side.vk);
    // Wine takes a Shift event for the right one only with the extended-key
    // flag (Windows goes by the key), so it ignores the service's key-up of
    // the user's right Shift, which the user then lets go of here.
    const DWORD flag = side.vk == VK_RSHIFT ? KEYEVENTF_EXTENDEDKEY : 0;
    const bool wine_keeps_it = flag && UnderWine();
    auto user = [&](DWORD up) {  // input without the marker
      INPUT key = KeyboardInput(side.vk, side.scan, flag | up, 0);
      h_.Inject([&] { SendInput(1, &key, sizeof(key)); });
    };
    user(0);
    ASSERT_LT(GetAsyncKeyState(side.vk), 0);
    h_.SetEditText(L"");
    std::vector<SeenKey> seen = h_.Inject([] { TypeText(L"x", 0, false); });
    // Typed in lower case: the Shift was let go of first.
    if (!wine_keeps_it) {
      EXPECT_EQ(h_.EditText(), L"x");
    }
    ASSERT_FALSE(seen.empty());
    EXPECT_TRUE(seen[0].vk == side.vk && seen[0].up());
    EXPECT_TRUE(WasReleasedByInjection(side.vk));
    EXPECT_FALSE(WasReleasedByInjection(side.other));
    if (wine_keeps_it) user(KEYEVENTF_KEYUP);

    bool down[256] = {};
    down[side.vk] = true;
    seen = h_.Inject([&] { RestoreReleasedModifiers(down, SendInput); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].vk == side.vk && !seen[0].up());
    EXPECT_EQ(seen[0].scan, side.scan);
    EXPECT_EQ(seen[0].extra, kInjectionMarker);
    EXPECT_FALSE(WasReleasedByInjection(side.vk));

    // Released again, it is pressed again only while the user holds it.
    EXPECT_TRUE(AnyModifierHeld());
    h_.Inject([] { ReleaseHeldModifiers(); });
    EXPECT_FALSE(AnyModifierHeld());
    down[side.vk] = false;
    EXPECT_TRUE(h_.Inject([&] { RestoreReleasedModifiers(down, SendInput); }).empty());
  }
  // Alt is never let go of: that could commit a window switch.
  INPUT alt[2] = {KeyboardInput(VK_LMENU, 0x38, 0, 0),
                  KeyboardInput(VK_LMENU, 0x38, KEYEVENTF_KEYUP, 0)};
  h_.Inject([&] { SendInput(1, &alt[0], sizeof(INPUT)); });
  EXPECT_TRUE(AltOrWinHeld());
  EXPECT_TRUE(h_.Inject([] { ReleaseHeldModifiers(); }).empty());
  h_.Inject([&] { SendInput(1, &alt[1], sizeof(INPUT)); });
  EXPECT_FALSE(AltOrWinHeld());
}

TEST_F(InjectionTest, WindowWithoutUnicodeGetsThePasteAndTheClipboardBack) {
  HWND ansi_edit =
      CreateWindowExA(0, "EDIT", "", WS_POPUP | WS_VISIBLE | WS_BORDER, 0, 200,
                      360, 30, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(ansi_edit, nullptr);
  ASSERT_FALSE(IsWindowUnicode(ansi_edit));
  SetForegroundWindow(ansi_edit);
  SetFocus(ansi_edit);
  ASSERT_TRUE(PumpUntil([&] { return GetFocus() == ansi_edit; }, 2000));
  // The application saved the user's clipboard and copied the selection:
  // the paste keeps its own save, and the application's still comes back.
  ASSERT_TRUE(WriteClipboardText(L"the user's text"));
  SaveClipboard();
  ASSERT_TRUE(WriteClipboardText(L"the selection"));

  // "é" has no key on the US layout, so the text goes by Ctrl+V.
  const DWORD start = GetTickCount();
  std::vector<SeenKey> seen =
      h_.Inject([] { TypeText(L"caf\u00e9 ok", 0, false); });
  const DWORD elapsed = GetTickCount() - start;
  char text[64] = {};
  GetWindowTextA(ansi_edit, text, 64);
  EXPECT_STREQ(text, "caf\xe9 ok");
  // The four events of Ctrl+V, no key of the text.
  EXPECT_EQ(seen.size(), 4u);
  // The paste waits for the target before the user's text goes back.
  EXPECT_GE(elapsed, 400u);
  EXPECT_EQ(ReadClipboardText().value_or(L"<none>"), L"the selection");
  RestoreSavedClipboard();
  EXPECT_EQ(ReadClipboardText().value_or(L"<none>"), L"the user's text");

  // Typeable text is typed as keys even here.
  SetWindowTextA(ansi_edit, "");
  seen = h_.Inject([] { TypeText(L"plain", 0, false); });
  GetWindowTextA(ansi_edit, text, 64);
  EXPECT_STREQ(text, "plain");
  EXPECT_EQ(seen.size(), 10u);
  DestroyWindow(ansi_edit);
}

}  // namespace
