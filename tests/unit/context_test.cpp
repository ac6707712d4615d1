// Window context under Wine, with copies of this program run as peers:
// foreground information, layout switchers, remembering and restoring a
// window, click and application-change records, and session events.

#include <gtest/gtest.h>
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <thread>
#include <vector>

#include "context/foreground_window.h"
#include "keyboard/keyboard_hook.h"
#include "keyboard/keyboard_state.h"
#include "keyboard_harness.h"
#include "test_support.h"

using flutter::EncodableList;
using flutter_app::AppMessenger;
using namespace test_support;

namespace {

LRESULT CALLBACK PeerProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_SETFOCUS || message == WM_ACTIVATE) {
    SetFocus(GetWindow(window, GW_CHILD));
    return 0;
  }
  if (message == WM_DESTROY) PostQuitMessage(0);
  return DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateOfClass(const wchar_t* class_name, const std::wstring& title) {
  const WNDCLASSW window_class = {0, PeerProc, 0, 0, GetModuleHandleW(nullptr), nullptr,
                                  nullptr, nullptr, nullptr, class_name};
  RegisterClassW(&window_class);
  return CreateWindowExW(0, class_name, title.c_str(), WS_OVERLAPPEDWINDOW, 600, 400, 400,
                         120, nullptr, nullptr, window_class.hInstance, nullptr);
}

// A peer's arguments, after "--peer": CLASS... TITLE. It makes a hidden
// window of each CLASS titled "TITLE CLASS", then shows a window titled TITLE
// with a focused edit control until that is closed; it exits with the number
// of layout switchers it saw as it started.
[[maybe_unused]] const bool run_as_peer = [] {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argc < 3 || std::wstring(argv[1]) != L"--peer") return false;
  const auto switchers = static_cast<UINT>(RunningLayoutSwitchers().size());
  const std::wstring title = argv[argc - 1];
  for (int i = 2; i < argc - 1; ++i) CreateOfClass(argv[i], title + L" " + argv[i]);
  // Shown last: a visible window means the peer is ready.
  HWND window = CreateOfClass(L"KorvexContextPeer", title);
  CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 5, 380, 30, window,
                  nullptr, nullptr, nullptr);
  ShowWindow(window, SW_SHOW);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  ExitProcess(switchers);
}();

// Another program's window titled |title| with an edit control, after hidden
// windows of the classes in |more|; closed at the end. It is this program
// under a layout switcher's name.
class Peer {
 public:
  Peer(const std::wstring& title, const std::wstring& more) : title_(title) {
    const std::wstring copy = ProgramFolder() + L"\\PuntoPeer.EXE";
    CopyFileW((ProgramFolder() + L"\\context_tests.exe").c_str(), copy.c_str(), FALSE);
    process_ = StartProgram(copy, L"--peer " + more + L" " + title);
    PumpUntil([&] { return IsWindowVisible(window()); }, 10000);
  }
  ~Peer() {
    Close();
    CloseHandle(process_.hProcess);
  }
  DWORD Close() const {  // its exit code
    if (HWND shown = window()) PostMessageW(shown, WM_CLOSE, 0, 0);
    const DWORD code = Finish(process_, 5000);
    if (code == STILL_ACTIVE) TerminateProcess(process_.hProcess, 1);
    return code;
  }
  HWND window() const { return FindWindowW(L"KorvexContextPeer", title_.c_str()); }
  HWND Of(const wchar_t* name) const { return FindWindowW(name, (title_ + L" " + name).c_str()); }
  HWND edit() const { return GetWindow(window(), GW_CHILD); }
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
void ForegroundChanged(KeyboardHarness& h, HWND window, DWORD event = EVENT_SYSTEM_FOREGROUND) {
  h.OnMain([&] { ForegroundEventProc(nullptr, event, window, 0, 0, 0, 0); });
}

TEST(ContextTest, AnotherProgramsWindowClicksAndSessionChanges) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const wchar_t* const shell[] = {
      L"Shell_TrayWnd", L"Shell_SecondaryTrayWnd", L"NotifyIconOverflowWindow",
      L"TopLevelWindowForOverflowXamlIsland", L"XamlExplorerHostIslandWindow",
      L"Windows.UI.Core.CoreWindow", L"Progman", L"WorkerW"};
  std::wstring classes;
  for (const wchar_t* name : shell) classes += name + std::wstring(L" ");
  Peer peer(L"ctx-peer", L"Progman2 " + classes);
  Peer second(L"peer-b", L"");
  const HWND window = peer.window(), near_shell = peer.Of(L"Progman2");
  ASSERT_TRUE(window && near_shell && second.window());
  // A Left Shift tracked as down that the system no longer holds.
  std::vector<WPARAM> released;
  auto session = [&](WPARAM code) {
    h.OnMain([] { tracked_key_down[VK_LSHIFT] = true; });
    SendMessageW(h.runner(), WM_WTSSESSION_CHANGE, code, 0);
    h.OnMain([&] {
      if (!tracked_key_down[VK_LSHIFT]) released.push_back(code);
      tracked_key_down[VK_LSHIFT] = false;
    });
  };
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    // The real hooks, not only their records, come and go with the stream.
    h.OnMain([&] { EXPECT_TRUE(mouse_hook && foreground_event_hook); });
    auto restore = [&] { return h.Call(app, "restoreForegroundWindow").value; };
    const EncodableValue yes(true), no(false);
    // A child window never becomes the foreground window: both attempts
    // fail. The keys typed meanwhile are answered at once, their records
    // before the reply.
    h.OnMain([&] { EXPECT_TRUE(peer.Focus()); });
    remembered_foreground_window = peer.edit();
    std::thread typing([] { Xdo("key --delay 40 a b c d e f g h i j"); });
    h.WaitForRecords(app, "keyDown", 1);
    EXPECT_EQ(restore(), no);
    EXPECT_EQ(h.RecordsOf("keyDown").size(), 10u);
    typing.join();
    EXPECT_EQ(h.Call(app, "foregroundWindowInfo").value,
              EncodableValue(EncodableMap{
                  {EncodableValue("className"), EncodableValue("KorvexContextPeer")},
                  {EncodableValue("exe"), EncodableValue("puntopeer.exe")}}));
    const EncodableValue name("PuntoPeer.EXE");
    EXPECT_EQ(h.Call(app, "runningLayoutSwitchers").value,
              EncodableValue(EncodableList{name, name}));

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

    EXPECT_EQ(restore(), yes);
    EXPECT_EQ(GetForegroundWindow(), window);
    ShowWindow(window, SW_MINIMIZE);
    ASSERT_TRUE(h.FocusTarget());
    EXPECT_EQ(restore(), yes);
    EXPECT_FALSE(IsIconic(window));
    EXPECT_EQ(GetForegroundWindow(), window);
    PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_TRUE(Poll(app, [&] { return !IsWindow(window); }, 5000));
    EXPECT_EQ(restore(), no);
    app.RunPending(100);  // the restores' notes, before the records are cleared

    // Clicks reach a hook only through a window that Wine shows; clicks
    // chained after a search would be synthetic events, which Wine ignores.
    h.records().clear();
    h.OnMain([&] { EXPECT_TRUE(second.Focus()); });
    ASSERT_TRUE(Xdo("search --name '^peer-b$' mousemove --window %1 200 90"));
    ASSERT_TRUE(Xdo("click 1 click 3 click 2 click 4 click 5 click 8 "
                    "mousedown 1 sleep 0.3 mouseup 1"));
    INPUT injected[2] = {};
    const DWORD flags[] = {MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
    for (int i = 0; i < 2; ++i) injected[i].type = INPUT_MOUSE, injected[i].mi.dwFlags = flags[i];
    SendInput(2, injected, sizeof(INPUT));
    ASSERT_TRUE(Xdo("click 1"));
    h.WaitForRecords(app, "click", 5);
    for (WPARAM code = WTS_CONSOLE_CONNECT; code <= WTS_SESSION_TERMINATE; ++code) {
      session(code);
    }
    app.RunPending(300);
    app.Cancel("korvex/key_events");
    h.OnMain([&] { EXPECT_TRUE(!mouse_hook && !foreground_event_hook); });
    session(WTS_SESSION_UNLOCK);
  }));
  EXPECT_EQ(second.Close(), 1u);  // it saw the first but not itself

  // Left, right, middle, the held left and the last: five presses only, bare.
  for (const EncodableMap& record : h.RecordsOf("click")) EXPECT_EQ(record.size(), 1u);
  // Released on the returns to the session only, with a note each.
  EXPECT_EQ(released, (std::vector<WPARAM>{WTS_CONSOLE_CONNECT, WTS_REMOTE_CONNECT,
                                           WTS_SESSION_LOGON, WTS_SESSION_UNLOCK}));
  // Nothing else: the clicks, the four releases' modifier records and their notes.
  EXPECT_EQ(h.records().size(), 5u + 4u + 4u);
}

}  // namespace
