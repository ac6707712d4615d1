// Window context under Wine, with other real programs (copies of
// context_peer.exe): foreground information, layout switchers, remembering
// and restoring a window, click and application-change records, and the
// runner window's theme and session events.

#include <gtest/gtest.h>
#include <windows.h>
#include <wtsapi32.h>

#include <string>
#include <thread>
#include <vector>

#include "bridge/native_services.h"
#include "context/foreground_window.h"
#include "keyboard/keyboard_hook.h"
#include "keyboard/keyboard_state.h"
#include "keyboard_harness.h"
#include "test_support.h"

using flutter::EncodableList;
using flutter_app::AppMessenger;
using namespace test_support;
using Strings = std::vector<std::string>;

namespace {

std::wstring PeerProgram(const wchar_t* name = L"context_peer.exe") {
  const std::wstring path = ProgramFolder() + L"\\" + name;
  CopyFileW((ProgramFolder() + L"\\context_peer.exe").c_str(), path.c_str(),
            FALSE);
  return path;
}

// Another program's window titled |title| with an edit control, after
// hidden windows of the classes in |more|; closed at the end.
class Peer {
 public:
  Peer(const std::wstring& program, const std::wstring& title,
       const std::wstring& more = L"")
      : title_(title) {
    std::wstring command = L"\"" + program + L"\" " + more + L" " + title;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    CreateProcessW(program.c_str(), command.data(), nullptr, nullptr, FALSE,
                   0, nullptr, nullptr, &startup, &process_);
    PumpUntil([&] { return IsWindowVisible(window()); }, 10000);
  }
  ~Peer() {
    PostMessageW(window(), WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 5000) != WAIT_OBJECT_0) {
      TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
  }
  HWND window() const { return FindWindowW(L"KorvexContextPeer", title_.c_str()); }
  HWND Of(const wchar_t* name) const {
    return FindWindowW(name, (title_ + L" " + name).c_str());
  }
  HWND edit() const { return GetWindow(window(), GW_CHILD); }
  std::wstring EditText() const {
    wchar_t text[64] = {};
    SendMessageW(edit(), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
    return text;
  }
  // In front, with the X focus, its edit control focused (main thread).
  bool Focus() const {
    SetForegroundWindow(window());
    Xdo("search --name '^" + std::string(title_.begin(), title_.end()) +
        "$' windowfocus --sync");
    return PumpUntil([&] {
      GUITHREADINFO info = {};
      info.cbSize = sizeof(info);
      return GetForegroundWindow() == window() &&
             GetGUIThreadInfo(GetWindowThreadProcessId(window(), nullptr), &info) &&
             info.hwndFocus == edit();
    }, 5000);
  }

 private:
  std::wstring title_;
  PROCESS_INFORMATION process_ = {};
};

// As the system would call it: Wine never sends EVENT_SYSTEM_FOREGROUND.
void ForegroundChanged(KeyboardHarness& h, HWND window,
                       DWORD event = EVENT_SYSTEM_FOREGROUND) {
  h.OnMain([&] { ForegroundEventProc(nullptr, event, window, 0, 0, 0, 0); });
}

Strings Diags(const KeyboardHarness& h) {
  Strings messages;
  for (const EncodableMap& r : h.RecordsOf("diag")) messages.push_back(StringOf(r, "message"));
  return messages;
}

EncodableValue Info(const char* class_name, const char* exe) {
  return EncodableValue(EncodableMap{
      {EncodableValue("className"), EncodableValue(class_name)},
      {EncodableValue("exe"), EncodableValue(exe)}});
}

TEST(ContextTest, ForegroundInfoAndOtherLayoutSwitchers) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const std::wstring punto = PeerProgram(L"PuntoPeer.EXE");
  const std::wstring seen = TempFilePath(L"sw");
  Peer first(punto, L"peer-a"), plain(PeerProgram(), L"peer-plain");
  Peer second(punto, L"peer-b", L"--switchers \"" + seen + L"\"");
  ASSERT_TRUE(second.window() && plain.window() && first.Focus());
  EncodableValue peer_info, switchers, own_info;
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    peer_info = h.Call(app, "foregroundWindowInfo").value;
    switchers = h.Call(app, "runningLayoutSwitchers").value;
    ASSERT_TRUE(h.FocusTarget());
    own_info = h.Call(app, "foregroundWindowInfo").value;
  }));
  EXPECT_EQ(peer_info, Info("KorvexContextPeer", "puntopeer.exe"));
  EXPECT_EQ(own_info, Info("KorvexKeyTarget", "context_tests.exe"));
  const EncodableValue name("PuntoPeer.EXE");
  EXPECT_EQ(switchers, EncodableValue(EncodableList{name, name}));
  // The second saw the first but not itself.
  EXPECT_EQ(ReadFileBytes(seen), "PuntoPeer.EXE\n");
  DeleteFileW(seen.c_str());
}

TEST(ContextTest, AnotherProgramsWindowIsRememberedAndRestored) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const wchar_t* const shell[] = {
      L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd", L"NotifyIconOverflowWindow",
      L"TopLevelWindowForOverflowXamlIsland", L"XamlExplorerHostIslandWindow",
      L"Windows.UI.Core.CoreWindow", L"Progman", L"WorkerW"};
  std::wstring classes;
  for (const wchar_t* name : shell) classes += name + std::wstring(L" ");
  Peer peer(PeerProgram(), L"ctx-peer", L"Progman2 " + classes);
  const HWND window = peer.window(), near_shell = peer.Of(L"Progman2");
  ASSERT_TRUE(window && near_shell);
  remembered_foreground_window = nullptr;
  std::vector<EncodableValue> restored;
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    auto restore = [&] {
      restored.push_back(h.Call(app, "restoreForegroundWindow").value);
    };
    restore();
    ForegroundChanged(h, window);
    // Shell surfaces, this program's windows and other events leave it.
    for (const wchar_t* name : shell) ForegroundChanged(h, peer.Of(name));
    for (HWND own : {h.runner(), h.edit(), HWND{}}) ForegroundChanged(h, own);
    ForegroundChanged(h, near_shell, EVENT_SYSTEM_MINIMIZESTART);
    EXPECT_EQ(remembered_foreground_window, window);
    ForegroundChanged(h, near_shell);
    EXPECT_EQ(remembered_foreground_window, near_shell);
    EXPECT_TRUE(h.WaitForRecords(app, "appChanged", 13));

    // The method takes the foreground window, never one of this program.
    h.OnMain([&] { EXPECT_TRUE(peer.Focus()); });
    h.Call(app, "rememberForegroundWindow");
    ASSERT_TRUE(h.FocusTarget());
    h.Call(app, "rememberForegroundWindow");
    EXPECT_EQ(remembered_foreground_window, window);

    restore();
    EXPECT_EQ(GetForegroundWindow(), window);
    restore();  // already in front
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(h.FocusTarget());
    restore();
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(GetForegroundWindow(), window);
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Poll(app, [&] { return !IsWindow(window); }, 5000));
    restore();
    app.RunPending(100);
  }));
  EXPECT_EQ(h.RecordsOf("appChanged").size(), 13u);
  const EncodableValue yes(true), no(false);
  EXPECT_EQ(restored, (std::vector<EncodableValue>{no, yes, yes, yes, no}));
  const std::string ok = "restoreForeground ok target=KorvexContextPeer "
                         "now=KorvexContextPeer";
  const std::string none = "restoreForeground: no remembered window";
  EXPECT_EQ(Diags(h), (Strings{none, ok, ok, ok, none}));
}

TEST(ContextTest, FailedRestoreKeepsServingTheHooks) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  Peer peer(PeerProgram(), L"ctx-typing");
  ASSERT_TRUE(peer.Focus());
  // A child window never becomes the foreground window: both attempts fail.
  remembered_foreground_window = peer.edit();
  EncodableValue restored;
  size_t before_reply = 0;
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    std::thread typing([] { Xdo("key --delay 40 a b c d e f g h i j"); });
    h.WaitForRecords(app, "keyDown", 1);
    restored = h.Call(app, "restoreForegroundWindow").value;
    before_reply = h.RecordsOf("keyDown").size();
    typing.join();
    h.WaitForRecords(app, "keyDown", 10);
    app.RunPending(200);
  }));
  EXPECT_EQ(restored, EncodableValue(false));
  // The keys typed while the restore polled were answered at once: their
  // records came before the reply, not after it.
  EXPECT_EQ(before_reply, 10u);
  EXPECT_EQ(h.RecordsOf("keyDown").size(), 10u);
  EXPECT_EQ(peer.EditText(), L"abcdefghij");
  EXPECT_EQ(Diags(h), Strings{"restoreForeground FAILED target=Edit "
                              "now=KorvexContextPeer"});
}

TEST(ContextTest, ClicksAreReportedWhileTheStreamIsListenedTo) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  // Clicks reach a hook only through a window that Wine shows.
  Peer peer(PeerProgram(), L"ctx-clicks");
  bool installed = false, removed = false;
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    // The real hooks, not only their records, come and go with the stream.
    h.OnMain([&] { installed = mouse_hook && foreground_event_hook; });
    // Clicks chained after a search would be synthetic events, which Wine
    // ignores.
    ASSERT_TRUE(Xdo("search --name '^ctx-clicks$' mousemove --window %1 200 90"));
    ASSERT_TRUE(Xdo("click 1 click 3 click 2 click 4 click 5 click 8 "
                    "mousedown 1 sleep 0.3 mouseup 1"));
    INPUT clicks[4] = {};
    const DWORD flags[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP,
                           MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP};
    for (int i = 0; i < 4; ++i) clicks[i].type = INPUT_MOUSE, clicks[i].mi.dwFlags = flags[i];
    SendInput(4, clicks, sizeof(INPUT));
    ASSERT_TRUE(Xdo("click 1"));
    h.WaitForRecords(app, "click", 5);
    app.RunPending(300);
    app.Cancel("korvex/key_events");
    h.OnMain([&] { removed = !mouse_hook && !foreground_event_hook; });
  }));
  EXPECT_TRUE(installed && removed);
  // Left, right, middle, the held left and the last: presses only.
  EXPECT_EQ(h.RecordsOf("click").size(), 5u);
  for (const EncodableMap& record : h.records()) EXPECT_EQ(record.size(), 1u);
}

TEST(ContextTest, ThemeAndSessionEventsOfTheRunnerWindow) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  HKEY key = nullptr;
  RegCreateKeyExW(HKEY_CURRENT_USER,
                  L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                  0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
  // Sets the value, then sends WM_SETTINGCHANGE with |name|.
  auto change = [&](DWORD value, const wchar_t* name = L"ImmersiveColorSet") {
    RegSetValueExW(key, L"SystemUsesLightTheme", 0, REG_DWORD,
                   reinterpret_cast<const BYTE*>(&value), sizeof(value));
    SendMessageW(h.runner(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(name));
  };
  std::vector<int> themes;  // 1 light, 0 dark
  auto listen = [&](AppMessenger& app) {
    app.Listen("korvex/taskbar_theme", EncodableValue(), [&](const auto& event) {
      themes.push_back(std::get_if<bool>(&event.value) ? std::get<bool>(event.value) : -1);
    });
  };
  std::vector<WPARAM> released;
  bool light_unlistened = false, held_unlistened = false;
  auto session = [&](WPARAM code) {
    h.OnMain([] { tracked_key_down[VK_LSHIFT] = true; });
    SendMessageW(h.runner(), WM_WTSSESSION_CHANGE, code, 0);
    h.OnMain([&] {
      if (!tracked_key_down[VK_LSHIFT]) released.push_back(code);
      held_unlistened = tracked_key_down[VK_LSHIFT];
      tracked_key_down[VK_LSHIFT] = false;
    });
  };
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    change(1, nullptr);
    listen(app);
    change(1);
    change(0, L"immersivecolorset");
    change(0, nullptr);
    change(0);
    change(0);
    change(1);
    change(2);  // only 1 is light
    app.RunPending(100);
    app.Cancel("korvex/taskbar_theme");
    change(1);
    h.OnMain([&] { light_unlistened = taskbar_light_theme; });
    listen(app);
    change(1);
    app.RunPending(100);

    ASSERT_TRUE(h.Listen(app));
    for (WPARAM code = WTS_CONSOLE_CONNECT; code <= WTS_SESSION_TERMINATE; ++code) {
      session(code);
    }
    app.RunPending(200);
    app.Cancel("korvex/key_events");
    session(WTS_SESSION_UNLOCK);
  }));
  RegDeleteValueW(key, L"SystemUsesLightTheme");
  RegCloseKey(key);
  EXPECT_EQ(themes, (std::vector<int>{1, 0, 1, 0, 1}));
  // A change while nobody listened was kept for the next comparison.
  EXPECT_TRUE(light_unlistened);
  EXPECT_EQ(released, (std::vector<WPARAM>{WTS_CONSOLE_CONNECT, WTS_REMOTE_CONNECT,
                                           WTS_SESSION_LOGON, WTS_SESSION_UNLOCK}));
  EXPECT_TRUE(held_unlistened);
  const auto modifiers = h.RecordsOf("modifier");
  ASSERT_EQ(modifiers.size(), 4u);
  for (const EncodableMap& record : modifiers) {
    EXPECT_EQ(IntOf(record, "keycode"), VK_LSHIFT);
    EXPECT_FALSE(BoolOf(record, "down"));
  }
  EXPECT_EQ(Diags(h), Strings(4, "stuck modifier vk=160 released (session change)"));
}

}  // namespace
