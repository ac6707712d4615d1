// Tray balloons on the icon of the tray plug-in stand-in, and the balloon
// click reported to the application; what the system was given for a
// balloon is recorded on the way. The plug-in's own channel: its icon, its
// menu as a real pop-up menu, and the calls back to the application.

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

// The pop-up menu of this process, once it is shown.
HWND ShownMenu() {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"#32768", nullptr)) != nullptr) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (process == GetCurrentProcessId() && IsWindowVisible(window)) return window;
  }
  return nullptr;
}

EncodableValue Item(std::initializer_list<std::pair<const char*, EncodableValue>> fields) {
  EncodableMap map;
  for (const auto& [key, value] : fields) map.emplace(EncodableValue(key), value);
  return EncodableValue(map);
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

TEST(TrayTest, PluginsMenuIsAPopUpMenuThatReportsTheItemChosen) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const HWND runner = h.runner();
  const int64_t big_id = int64_t{1} << 40;
  std::vector<std::pair<std::string, EncodableValue>> calls;
  std::vector<std::wstring> labels;
  std::vector<UINT> types, states;
  std::vector<bool> submenus;
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
    EXPECT_EQ(call("setIcon", Item({{"iconPath", EncodableValue("C:\\none.ico")}})),
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
    EXPECT_EQ(call("setToolTip", Item({{"toolTip", EncodableValue("tip")}})),
              EncodableValue(true));
    const flutter::EncodableList items{
        Item({{"id", EncodableValue(1)}, {"type", EncodableValue("checkbox")},
              {"label", EncodableValue("&Checked")}, {"checked", EncodableValue(true)}}),
        Item({{"id", EncodableValue(2)}, {"type", EncodableValue("separator")}}),
        Item({{"id", EncodableValue(3)}, {"type", EncodableValue("submenu")},
              {"label", EncodableValue("More")},
              {"submenu", Item({{"items", EncodableValue(flutter::EncodableList{Item(
                                              {{"id", EncodableValue(4)},
                                               {"label", EncodableValue("Inner")}})})}})}}),
        Item({{"id", EncodableValue(5)}, {"label", EncodableValue("Grey")},
              {"disabled", EncodableValue(true)}}),
        EncodableValue("not an item"),
        Item({{"label", EncodableValue("No id")}, {"checked", EncodableValue(7)}}),
        Item({{"id", EncodableValue(big_id)}, {"label", EncodableValue("Big")}})};
    EXPECT_EQ(call("setContextMenu", Item({{"menu", Item({{"items", EncodableValue(items)}})}})),
              EncodableValue(true));

    // The icon's events in the version-4 layout: only the buttons' release
    // is reported.
    for (UINT event : {WM_MOUSEMOVE, WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN,
                       WM_RBUTTONUP, WM_CONTEXTMENU}) {
      PostMessageW(runner, WM_USER + 1, 0, MAKELPARAM(event, 1));
    }
    Poll(app, [&] { return calls.size() >= 2; }, 3000);

    app.InvokeMethod("tray_manager", "popUpContextMenu", EncodableValue(),
                     [&](const Reply& reply) { popped = reply; });
    HWND menu = nullptr;
    ASSERT_TRUE(Poll(app, [&] { return (menu = ShownMenu()) != nullptr; }, 5000));
    const HMENU shown = reinterpret_cast<HMENU>(SendMessageW(menu, MN_GETHMENU, 0, 0));
    for (int i = 0; i < GetMenuItemCount(shown); ++i) {
      wchar_t text[64] = {};
      MENUITEMINFOW info = {};
      info.cbSize = sizeof(info);
      info.fMask = MIIM_FTYPE | MIIM_STATE | MIIM_SUBMENU | MIIM_STRING;
      info.dwTypeData = text;
      info.cch = 64;
      GetMenuItemInfoW(shown, i, TRUE, &info);
      labels.push_back(text);
      types.push_back(info.fType);
      // A separator's state is the system's business.
      states.push_back(info.fType == MFT_SEPARATOR ? 0 : info.fState & (MFS_CHECKED | MF_GRAYED));
      submenus.push_back(info.hSubMenu != nullptr);
    }
    // Up from nothing is the last item; Enter chooses it.
    PostMessageW(menu, WM_KEYDOWN, VK_UP, 0);
    PostMessageW(menu, WM_KEYDOWN, VK_RETURN, 0);
    Poll(app, [&] { return popped.kind != Reply::Kind::kTimedOut && calls.size() >= 3; }, 5000);

    EXPECT_EQ(call("destroy", EncodableValue()), EncodableValue(true));
    EXPECT_FALSE(TrayIconShown(runner));

    // A close while the menu is open waits for the menu to end.
    app.InvokeMethod("tray_manager", "popUpContextMenu", EncodableValue(),
                     [&](const Reply& reply) { closed = reply; });
    ASSERT_TRUE(Poll(app, [&] { return ShownMenu() != nullptr; }, 5000));
    PostMessageW(runner, WM_CLOSE, 0, 0);
    Poll(app, [&] { return !IsWindow(runner); }, 5000);
  }));
  EXPECT_EQ(labels, (std::vector<std::wstring>{L"&Checked", L"", L"More", L"Grey", L"No id", L"Big"}));
  EXPECT_EQ(types, (std::vector<UINT>{MFT_STRING, MFT_SEPARATOR, MFT_STRING, MFT_STRING,
                                      MFT_STRING, MFT_STRING}));
  EXPECT_EQ(states, (std::vector<UINT>{MFS_CHECKED, 0, 0, MF_GRAYED, 0, 0}));
  EXPECT_EQ(submenus, (std::vector<bool>{false, false, true, false, false, false}));
  EXPECT_EQ(popped.value, EncodableValue(true));
  using Call = std::pair<std::string, EncodableValue>;
  EXPECT_EQ(calls, (std::vector<Call>{
                       {"onTrayIconMouseDown", EncodableValue()},
                       {"onTrayIconRightMouseDown", EncodableValue()},
                       {"onTrayMenuItemClick", Item({{"id", EncodableValue(big_id)}})}}));
  // The menu ended, answered, and then the window closed.
  EXPECT_EQ(closed.value, EncodableValue(true));
  EXPECT_FALSE(IsWindow(runner));
}
