// The HUD as the user sees it: its window, placement next to the caret of a
// real edit control or on the foreground window, clamping, and its fade
// (driven tick by tick through its own timer messages).

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "feedback/hud.h"
#include "keyboard_harness.h"
#include "test_support.h"

using flutter_app::AppMessenger;
using namespace test_support;

namespace {

RECT HudRect() {
  RECT rect = {};
  GetWindowRect(hud_window, &rect);
  return rect;
}

BYTE Opacity() {
  BYTE alpha = 0;
  DWORD flags = 0;
  GetLayeredWindowAttributes(hud_window, nullptr, &alpha, &flags);
  return flags == LWA_ALPHA ? alpha : 0;
}

GUITHREADINFO ThreadInfo() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetCurrentThreadId(), &info);
  return info;
}

// The caret of this thread in screen coordinates.
RECT CaretRect() {
  const GUITHREADINFO info = ThreadInfo();
  RECT caret = info.rcCaret;
  MapWindowPoints(info.hwndCaret, nullptr, reinterpret_cast<POINT*>(&caret), 2);
  return caret;
}

int Scaled(int length) { return MulDiv(length, GetDpiForWindow(hud_window), 96); }

}  // namespace

TEST(HudTest, WindowPlacementAndFade) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    // No text: nothing shown.
    EXPECT_EQ(h.Call(app, "showHud").kind, flutter_app::Reply::Kind::kSuccess);
    EXPECT_EQ(FindWindowW(L"KorvexHud", nullptr), nullptr);
    // The caret moves right, off the edge where the HUD would be clamped.
    h.SetEditText(L"some text");
    h.Call(app, "showHud", {{EncodableValue("text"), EncodableValue("Hi")}});
  }));
  ASSERT_TRUE(hud_window);
  EXPECT_EQ(FindWindowW(L"KorvexHud", nullptr), hud_window);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(hud_window, GWL_EXSTYLE)), 0x080800A8u);
  RECT hud = HudRect(), region = {};
  EXPECT_NE(GetWindowRgnBox(hud_window, &region), ERROR);
  EXPECT_EQ(region.right - region.left, hud.right - hud.left);
  EXPECT_EQ(region.bottom - region.top, hud.bottom - hud.top);
  EXPECT_EQ(GetForegroundWindow(), GetParent(h.edit()));
  EXPECT_EQ(GetFocus(), h.edit());

  // Below the caret, centred on it.
  RECT work = {};  // of the only screen
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  RECT caret = CaretRect();
  const int width = hud.right - hud.left, height = hud.bottom - hud.top;
  EXPECT_EQ(hud.left, (caret.left + caret.right) / 2 - width / 2);
  EXPECT_EQ(hud.top, caret.bottom + Scaled(8));

  // Above it when the work area ends below.
  HWND target = GetParent(h.edit());
  SetWindowPos(target, nullptr, 300, work.bottom - 60, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The X server's answer to the move comes back as a move of its own.
  PumpUntil([] { return false; }, 300);
  // The edit control makes its caret anew when it gains the focus.
  SetFocus(nullptr);
  SetFocus(h.edit());
  ASSERT_TRUE(
      PumpUntil([&] { return ThreadInfo().hwndCaret == h.edit(); }, 2000));
  ShowHud(L"Hi");
  caret = CaretRect();
  hud = HudRect();
  EXPECT_EQ(hud.top, caret.top - height - Scaled(8));

  // A long text wraps at 420 scaled pixels and grows in height.
  ShowHud(L"a long text that goes on and on with many words in it so that it "
          L"cannot fit on one line of the bubble however wide the font is");
  hud = HudRect();
  EXPECT_LE(hud.right - hud.left, Scaled(420) + 2 * Scaled(14));
  EXPECT_GT(hud.bottom - hud.top, height);

  // Centred on a window without a caret, and clamped to the work area.
  HWND plain = CreateWindowExW(0, L"STATIC", L"korvex-hud-plain", WS_POPUP | WS_VISIBLE,
                               200, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(plain);
  ASSERT_EQ(GetForegroundWindow(), plain);
  ShowHud(L"Hi");
  hud = HudRect();
  EXPECT_EQ(hud.left, 400 - width / 2);
  EXPECT_EQ(hud.top, 400 - height - Scaled(60));
  MoveWindow(plain, work.left - 500, work.top - 500, 400, 300, FALSE);
  ShowHud(L"Hi");
  hud = HudRect();
  EXPECT_EQ(hud.left, work.left + 8);
  EXPECT_EQ(hud.top, work.top + 8);
  MoveWindow(plain, work.right - 80, work.bottom - 100, 400, 400, FALSE);
  ShowHud(L"Hi");
  hud = HudRect();
  EXPECT_EQ(hud.right, work.right - 8);
  EXPECT_EQ(hud.bottom, work.bottom - 8);
  DestroyWindow(plain);

  // The fade: display time over, then ten ticks to hidden.
  SendMessageW(hud_window, WM_TIMER, 1, 0);
  std::vector<int> alphas;
  // A tick that hides the window too early records 0 out of turn.
  for (int tick = 0; tick < 10; ++tick) {
    SendMessageW(hud_window, WM_TIMER, 2, 0);
    alphas.push_back(IsWindowVisible(hud_window) ? Opacity() : 0);
  }
  EXPECT_EQ(alphas, (std::vector<int>{211, 187, 163, 139, 115, 91, 67, 43, 19, 0}));

  // A second text during the fade is shown at full opacity and stays.
  ShowHud(L"first");
  SendMessageW(hud_window, WM_TIMER, 1, 0);
  SendMessageW(hud_window, WM_TIMER, 2, 0);
  ShowHud(L"second");
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(Opacity(), 235);
  EXPECT_TRUE(IsWindowVisible(hud_window));
  KillTimer(hud_window, 1);
  ShowWindow(hud_window, SW_HIDE);
}
