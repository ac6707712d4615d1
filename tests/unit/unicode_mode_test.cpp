// KORVEX_UNICODE_TYPE is read once, by the first TypeText of a process: a
// process of its own, so that the mode is set before that first call.

#include <gtest/gtest.h>
#include <windows.h>

#include "injection/input_synthesis.h"
#include "keyboard_harness.h"

TEST(UnicodeModeTest, EveryUnitGoesAsAUnicodeEventAndTheModeIsReadOnce) {
  SetEnvironmentVariableW(L"KORVEX_UNICODE_TYPE", L"1");
  test_support::KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const auto seen = h.Inject([] {
    TypeText(L"ab", 0, false);
    // Changing the variable later changes nothing.
    SetEnvironmentVariableW(L"KORVEX_UNICODE_TYPE", L"0");
    TypeText(L"c", 0, false);
  });
  // Letters the layout has keys for still go as Unicode events.
  const wchar_t units[] = L"aabbcc";
  ASSERT_EQ(seen.size(), 6u);
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].vk, static_cast<DWORD>(VK_PACKET));
    EXPECT_EQ(seen[i].scan, static_cast<DWORD>(units[i]));
  }
  EXPECT_EQ(h.EditText(), L"abc");
}
