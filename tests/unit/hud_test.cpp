// The HUD as the user sees it: its window, placement next to the caret of a
// real edit control or on the foreground window, clamping, and its fade
// (driven tick by tick through its own timer messages).

#include <gtest/gtest.h>
#include <windows.h>

#include "feedback/hud.h"
#include "keyboard_harness.h"
#include "test_support.h"

using flutter_app::AppMessenger;
using namespace test_support;

namespace {

// The HUD shown with |text| (none: as it is), in screen coordinates.
RECT Hud(const wchar_t* text = nullptr) {
  if (text) ShowHud(text);
  RECT rect = {};
  GetWindowRect(hud_window, &rect);
  return rect;
}
using Point = std::pair<LONG, LONG>;

BYTE Opacity() {
  BYTE alpha = 0;
  DWORD flags = 0;
  GetLayeredWindowAttributes(hud_window, nullptr, &alpha, &flags);
  return IsWindowVisible(hud_window) && flags == LWA_ALPHA ? alpha : 0;
}

// The caret of this thread in screen coordinates.
RECT Caret() {
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  GetGUIThreadInfo(GetCurrentThreadId(), &info);
  MapWindowPoints(info.hwndCaret, nullptr, reinterpret_cast<POINT*>(&info.rcCaret), 2);
  return info.hwndCaret ? info.rcCaret : RECT{};
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
  ASSERT_EQ(FindWindowW(L"KorvexHud", nullptr), hud_window);
  // On top, never active nor hit by the mouse, rounded; the focus stays.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongW(hud_window, GWL_EXSTYLE)), 0x080800A8u);
  RECT hud = Hud(), region = {};
  const int width = hud.right - hud.left, height = hud.bottom - hud.top;
  EXPECT_NE(GetWindowRgnBox(hud_window, &region), ERROR);
  EXPECT_EQ(Point(region.right - region.left, region.bottom - region.top), Point(width, height));
  EXPECT_EQ(GetForegroundWindow(), GetParent(h.edit()));

  // Below the caret, centred on it; above it when the work area ends below.
  RECT work = {}, caret = Caret();  // of the only screen
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  EXPECT_EQ(Point(hud.left, hud.top),
            Point((caret.left + caret.right) / 2 - width / 2, caret.bottom + Scaled(8)));
  SetWindowPos(GetParent(h.edit()), nullptr, 300, work.bottom - 60, 0, 0,
               SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  // The X server's answer to the move comes back as a move of its own; the
  // edit control makes its caret anew when it gains the focus.
  PumpUntil([] { return false; }, 300);
  SetFocus(nullptr);
  SetFocus(h.edit());
  ASSERT_TRUE(PumpUntil([&] { return Caret().bottom > work.bottom - 60; }, 2000));
  EXPECT_EQ(Hud(L"Hi").top, Caret().top - height - Scaled(8));

  // A long text wraps at 420 scaled pixels and grows in height.
  hud = Hud(L"a long text that goes on and on with many words in it so that it "
            L"cannot fit on one line of the bubble however wide the font is");
  EXPECT_LE(hud.right - hud.left, Scaled(420) + 2 * Scaled(14));
  EXPECT_GT(hud.bottom - hud.top, height);

  // Centred near the bottom of a window without a caret; kept 8 pixels
  // inside the work area.
  HWND plain = CreateWindowExW(0, L"STATIC", L"korvex-hud-plain", WS_POPUP | WS_VISIBLE,
                               200, 100, 400, 300, nullptr, nullptr, nullptr, nullptr);
  SetForegroundWindow(plain);
  ASSERT_EQ(GetForegroundWindow(), plain);
  hud = Hud(L"Hi");
  EXPECT_EQ(Point(hud.left, hud.top), Point(400 - width / 2, 400 - height - Scaled(60)));
  MoveWindow(plain, work.left - 500, work.top - 500, 400, 300, FALSE);
  hud = Hud(L"Hi");
  EXPECT_EQ(Point(hud.left, hud.top), Point(work.left + 8, work.top + 8));
  MoveWindow(plain, work.right - 80, work.bottom - 100, 400, 400, FALSE);
  hud = Hud(L"Hi");
  EXPECT_EQ(Point(hud.right, hud.bottom), Point(work.right - 8, work.bottom - 8));
  DestroyWindow(plain);

  // The fade: display time over, then ten ticks to hidden; a tick that hides
  // the window too early records 0 out of turn.
  SendMessageW(hud_window, WM_TIMER, 1, 0);
  std::vector<int> alphas;
  for (int tick = 0; tick < 10; ++tick) {
    SendMessageW(hud_window, WM_TIMER, 2, 0);
    alphas.push_back(Opacity());
  }
  EXPECT_EQ(alphas, (std::vector<int>{211, 187, 163, 139, 115, 91, 67, 43, 19, 0}));

  // A second text during the fade is shown at full opacity and stays.
  ShowHud(L"first");
  SendMessageW(hud_window, WM_TIMER, 1, 0);
  SendMessageW(hud_window, WM_TIMER, 2, 0);
  ShowHud(L"second");
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(Opacity(), 235);
  KillTimer(hud_window, 1);
  ShowWindow(hud_window, SW_HIDE);
}
