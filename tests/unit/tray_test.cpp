// Tray balloons on the icon of the tray plug-in stand-in, and the balloon
// click reported to the application. Wine shows no balloon, so what the
// system was given is recorded on the way.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "feedback/tray.h"
#include "keyboard_harness.h"
#include "test_support.h"

using flutter_app::AppMessenger;
using flutter_app::Reply;
using namespace test_support;

namespace {

// Called on the main thread only, where the channel's methods run.
std::vector<NOTIFYICONDATAW> given;

BOOL WINAPI RecordNotify(DWORD message, PNOTIFYICONDATAW data) {
  if (message == NIM_MODIFY) given.push_back(*data);
  return Shell_NotifyIconW(message, data);
}

EncodableMap Balloon(const std::string& title, const std::string& body) {
  return {{EncodableValue("title"), EncodableValue(title)},
          {EncodableValue("body"), EncodableValue(body)}};
}

}  // namespace

TEST(TrayTest, BalloonsOnThePluginsIconAndTheirClicks) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  notify_icon = RecordNotify;
  std::vector<Reply> shown;
  std::vector<EncodableValue> clicks;
  const std::string smile = "\xf0\x9f\x98\x80";  // one surrogate pair
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    auto show = [&](const EncodableValue& arguments) {
      shown.push_back(app.CallMethod("korvex/notifications", "show", arguments));
    };
    show(EncodableValue(Balloon("no icon", "yet")));
    ASSERT_EQ(app.CallMethod("tray_manager", "setIcon", EncodableValue()).value,
              EncodableValue(true));
    show(EncodableValue(Balloon(std::string(100, 't'), std::string(300, 'b'))));
    show(EncodableValue(Balloon(std::string(62, 't') + smile, std::string(254, 'b') + smile)));
    show(EncodableValue());

    app.SetMethodCallHandler("korvex/notifications",
                             [&](const std::string& method, const EncodableValue& arguments) {
                               if (method == "clicked") clicks.push_back(arguments);
                               return flutter_app::Answer::Success();
                             });
    const HWND runner = h.runner();
    PostMessageW(runner, WM_USER + 1, 0, NIN_BALLOONTIMEOUT);
    PostMessageW(runner, WM_USER + 1, 0, WM_LBUTTONUP);
    PostMessageW(runner, WM_USER + 1, 0, MAKELPARAM(NIN_BALLOONUSERCLICK, 1));
    PostMessageW(runner, WM_USER, 0, NIN_BALLOONUSERCLICK);
    Poll(app, [&] { return !clicks.empty(); }, 3000);
    // Nothing more comes after a round trip through the runner's thread.
    h.Call(app, "clipboardChangeCount");
    app.RunPending(100);
  }));
  notify_icon = Shell_NotifyIconW;
  ASSERT_EQ(shown.size(), 4u);
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(shown[i].value, EncodableValue(i > 0)) << i;
  // The system found the plug-in's icon by window and id: it said yes.
  ASSERT_EQ(given.size(), 4u);
  EXPECT_EQ(given[1].uFlags, static_cast<UINT>(NIF_INFO));
  EXPECT_EQ(given[1].dwInfoFlags, 0xA4u);
  EXPECT_TRUE(given[1].hBalloonIcon);
  EXPECT_EQ(std::wstring(given[1].szInfoTitle), std::wstring(63, L't'));
  EXPECT_EQ(std::wstring(given[1].szInfo), std::wstring(255, L'b'));
  // A cut before the pair, not through it.
  EXPECT_EQ(std::wstring(given[2].szInfoTitle), std::wstring(62, L't'));
  EXPECT_EQ(std::wstring(given[2].szInfo), std::wstring(254, L'b'));
  EXPECT_EQ(std::wstring(given[3].szInfoTitle) + given[3].szInfo, L"");
  EXPECT_EQ(clicks, std::vector<EncodableValue>{EncodableValue()});
}
