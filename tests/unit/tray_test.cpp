// Tray balloons on the icon of the tray plug-in stand-in, and the balloon
// click reported to the application; what the system was given for a
// balloon is recorded on the way. The plug-in's own channel: its icon, its
// menu as a real pop-up menu, and the calls back to the application.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app_driver.h"
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

// The pop-up menu of this process, once it is shown.
HWND ShownMenu() {
  return ShownWindow(L"#32768", nullptr, [](DWORD id) { return id == GetCurrentProcessId(); });
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
    auto balloon = [](const std::string& title, const std::string& body) {
      return Args({{"title", EncodableValue(title)}, {"body", EncodableValue(body)}});
    };
    show(balloon("no icon", "yet"));
    ASSERT_EQ(app.CallMethod("tray_manager", "setIcon", EncodableValue()).value,
              EncodableValue(true));
    show(balloon(std::string(100, 't'), std::string(300, 'b')));
    show(balloon(std::string(62, 't') + smile, std::string(254, 'b') + smile));
    show(EncodableValue());
    app.SetMethodCallHandler("korvex/notifications",
                             [&](const std::string& method, const EncodableValue& arguments) {
                               if (method == "clicked") clicks.push_back(arguments);
                               return flutter_app::Answer::Success();
                             });
    // Only a click on the balloon of the plug-in's icon, in the version-4
    // layout, is one.
    for (LPARAM event : {LPARAM(NIN_BALLOONTIMEOUT), LPARAM(WM_LBUTTONUP),
                         MAKELPARAM(NIN_BALLOONUSERCLICK, 1)}) {
      PostMessageW(h.runner(), WM_USER + 1, 0, event);
    }
    PostMessageW(h.runner(), WM_USER, 0, NIN_BALLOONUSERCLICK);
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
  // Cut to the system's fields, and before a surrogate pair, not through it.
  const std::wstring texts[][2] = {{std::wstring(63, L't'), std::wstring(255, L'b')},
                                   {std::wstring(62, L't'), std::wstring(254, L'b')},
                                   {L"", L""}};
  for (size_t i = 1; i < 4; ++i) {
    EXPECT_EQ(given[i].szInfoTitle, texts[i - 1][0]) << i;
    EXPECT_EQ(given[i].szInfo, texts[i - 1][1]) << i;
  }
  EXPECT_EQ(clicks, std::vector<EncodableValue>{EncodableValue()});
}

TEST(TrayTest, PluginsMenuIsAPopUpMenuThatReportsTheItemChosen) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const HWND runner = h.runner();
  const int64_t big_id = int64_t{1} << 40;
  std::vector<std::pair<std::string, EncodableValue>> calls;
  // Each item as shown: its label, then "|" for a separator, "v" checked,
  // "-" greyed, ">" with a submenu.
  std::vector<std::wstring> items;
  Reply popped, closed;
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    app.SetMethodCallHandler("tray_manager",
                             [&](const std::string& method, const EncodableValue& arguments) {
                               calls.emplace_back(method, arguments);
                               return flutter_app::Answer::Success();
                             });
    auto call = [&](const char* method, const EncodableValue& arguments) {
      return app.CallMethod("tray_manager", method, arguments).value;
    };
    // A path that gives no icon shows the program's own.
    EXPECT_EQ(call("setIcon", Args({{"iconPath", EncodableValue("C:\\none.ico")}})),
              EncodableValue(true));
    EXPECT_TRUE(TrayIconShown(runner));
    // A shell that starts afresh has lost it, and gets it back.
    NOTIFYICONDATAW lost = {};
    lost.cbSize = sizeof(lost);
    lost.hWnd = runner;
    lost.uID = 1;
    Shell_NotifyIconW(NIM_DELETE, &lost);
    SendMessageW(runner, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_TRUE(TrayIconShown(runner));
    EXPECT_EQ(call("setToolTip", Args({{"toolTip", EncodableValue("tip")}})), EncodableValue(true));
    const flutter::EncodableList menu{
        Args({{"id", EncodableValue(1)}, {"type", EncodableValue("checkbox")},
             {"label", EncodableValue("&Checked")}, {"checked", EncodableValue(true)}}),
        Args({{"id", EncodableValue(2)}, {"type", EncodableValue("separator")}}),
        Args({{"id", EncodableValue(3)}, {"type", EncodableValue("submenu")},
             {"label", EncodableValue("More")},
             {"submenu", Args({{"items", EncodableValue(flutter::EncodableList{Args(
                                            {{"id", EncodableValue(4)},
                                             {"label", EncodableValue("Inner")}})})}})}}),
        Args({{"id", EncodableValue(5)}, {"label", EncodableValue("Grey")},
             {"disabled", EncodableValue(true)}}),
        EncodableValue("not an item"),
        Args({{"label", EncodableValue("No id")}, {"checked", EncodableValue(7)}}),
        Args({{"id", EncodableValue(big_id)}, {"label", EncodableValue("Big")}})};
    EXPECT_EQ(call("setContextMenu", Args({{"menu", Args({{"items", EncodableValue(menu)}})}})),
              EncodableValue(true));

    // The icon's events in the version-4 layout: only the buttons' release
    // is reported.
    for (UINT event : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP,
                       WM_CONTEXTMENU}) {
      PostMessageW(runner, WM_USER + 1, 0, MAKELPARAM(event, 1));
    }
    Poll(app, [&] { return calls.size() >= 2; }, 3000);

    app.InvokeMethod("tray_manager", "popUpContextMenu", EncodableValue(),
                     [&](const Reply& reply) { popped = reply; });
    HWND shown = nullptr;
    ASSERT_TRUE(Poll(app, [&] { return (shown = ShownMenu()) != nullptr; }, 5000));
    const HMENU handle = reinterpret_cast<HMENU>(SendMessageW(shown, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(handle); ++i) {
      wchar_t text[64] = {};
      GetMenuStringW(handle, i, text, 64, MF_BYPOSITION);
      const UINT state = GetMenuState(handle, i, MF_BYPOSITION);
      // A separator's state is the system's business.
      const bool separator = (state & MF_SEPARATOR) != 0;
      items.push_back(std::wstring(text) + (separator ? L"|" : L"") +
                      (!separator && (state & MF_CHECKED) ? L"v" : L"") +
                      (!separator && (state & MF_GRAYED) ? L"-" : L"") +
                      ((state & MF_POPUP) ? L">" : L""));
    }
    // Up from nothing is the last item; Enter chooses it.
    PostMessageW(shown, WM_KEYDOWN, VK_UP, 0);
    PostMessageW(shown, WM_KEYDOWN, VK_RETURN, 0);
    Poll(app, [&] { return popped.kind != Reply::Kind::kTimedOut && calls.size() >= 3; }, 5000);

    EXPECT_EQ(call("destroy", EncodableValue()), EncodableValue(true));
    EXPECT_FALSE(TrayIconShown(runner));

    // A close while the menu is open waits for the menu to end.
    app.InvokeMethod("tray_manager", "popUpContextMenu", EncodableValue(),
                     [&](const Reply& reply) { closed = reply; });
    ASSERT_TRUE(Poll(app, [&] { return ShownMenu() != nullptr; }, 5000));
    PostMessageW(runner, WM_CLOSE, 0, 0);
    // The answer may still be on its way to this thread once the window is gone.
    Poll(app, [&] { return !IsWindow(runner) && closed.kind != Reply::Kind::kTimedOut; }, 5000);
  }));
  EXPECT_EQ(items, (std::vector<std::wstring>{L"&Checkedv", L"|", L"More>", L"Grey-", L"No id",
                                              L"Big"}));
  EXPECT_EQ(popped.value, EncodableValue(true));
  using Call = std::pair<std::string, EncodableValue>;
  const EncodableValue big = Args({{"id", EncodableValue(big_id)}});
  EXPECT_EQ(calls, (std::vector<Call>{{"onTrayIconMouseDown", EncodableValue()},
                                      {"onTrayIconRightMouseDown", EncodableValue()},
                                      {"onTrayMenuItemClick", big}}));
  // The menu ended, answered, and then the window closed.
  EXPECT_EQ(closed.value, EncodableValue(true));
  EXPECT_FALSE(IsWindow(runner));
}
