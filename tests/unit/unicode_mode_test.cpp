// KORVEX_UNICODE_TYPE is read once, by the first TypeText of a process: a
// process of its own, so that the mode is set before that first call.

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "injection/input_synthesis.h"
#include "test_support.h"

namespace {

std::vector<KBDLLHOOKSTRUCT> seen;

LRESULT CALLBACK RecordKeys(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    seen.push_back(*reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam));
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

TEST(UnicodeModeTest, EveryUnitGoesAsAUnicodeEventAndTheModeIsReadOnce) {
  SetEnvironmentVariableW(L"KORVEX_UNICODE_TYPE", L"1");
  HINSTANCE instance = GetModuleHandleW(nullptr);
  HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                              0, 0, 300, 80, nullptr, nullptr, instance, nullptr);
  ASSERT_NE(edit, nullptr);
  SetForegroundWindow(edit);
  SetFocus(edit);
  HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, RecordKeys, instance, 0);
  ASSERT_NE(hook, nullptr);

  auto type = [&](const wchar_t* text) {
    seen.clear();
    std::atomic<bool> done{false};
    std::thread worker([&] {
      TypeText(text, 0, false);
      done = true;
    });
    test_support::PumpUntil([&] { return done.load(); }, 10000);
    worker.join();
    test_support::PumpUntil([] { return false; }, 150);
  };

  type(L"ab");
  // Letters the layout has keys for still go as Unicode events.
  ASSERT_EQ(seen.size(), 4u);
  for (const auto& event : seen) {
    EXPECT_EQ(event.vkCode, static_cast<DWORD>(VK_PACKET));
    EXPECT_EQ(event.dwExtraInfo, kInjectionMarker);
  }
  EXPECT_EQ(seen[0].scanCode, static_cast<DWORD>(L'a'));
  EXPECT_EQ(seen[2].scanCode, static_cast<DWORD>(L'b'));

  // Changing the variable later changes nothing.
  SetEnvironmentVariableW(L"KORVEX_UNICODE_TYPE", L"0");
  type(L"c");
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].vkCode, static_cast<DWORD>(VK_PACKET));

  wchar_t text[16] = {};
  GetWindowTextW(edit, text, 16);
  EXPECT_STREQ(text, L"abc");
  UnhookWindowsHookEx(hook);
  DestroyWindow(edit);
}

}  // namespace
