#ifndef KORVEX_TESTS_BENCH_SOAK_SUPPORT_H_
#define KORVEX_TESTS_BENCH_SOAK_SUPPORT_H_

// The second program of the long runs and of some tests: soak_target.exe,
// started and shown, with the X focus on its editor; closed with the object.

#include <windows.h>

#include <string>

#include "keyboard_harness.h"
#include "test_support.h"

namespace test_support {

class SoakTarget {
 public:
  explicit SoakTarget(const wchar_t* title = L"korvex-soak-target")
      : title_(title),
        alt_tab_(CreateEventW(nullptr, FALSE, FALSE,
                              (L"korvex-alt-tab-" + title_).c_str())) {
    std::wstring command = L"\"" + ProgramFolder() + L"\\soak_target.exe\" " +
                           std::to_wstring(GetCurrentProcessId()) + L" " + title;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process_)) {
      process_ = {};
      return;
    }
    PumpUntil(
        [&] {
          window_ = FindWindowW(L"KorvexSoakTarget", title_.c_str());
          edit_ = window_ ? FindWindowExW(window_, nullptr, L"EDIT", nullptr)
                          : nullptr;
          log_ = window_ ? FindWindowExW(window_, nullptr, L"STATIC", nullptr)
                         : nullptr;
          return edit_ && log_;
        },
        15000);
    Focus();
    PumpUntil([] { return false; }, 500);
  }
  ~SoakTarget() {
    if (!process_.hProcess) return;
    if (window_) PostMessageW(window_, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process_.hProcess, 5000) != WAIT_OBJECT_0) {
      TerminateProcess(process_.hProcess, 1);
    }
    CloseHandle(process_.hProcess);
    CloseHandle(process_.hThread);
    if (alt_tab_) CloseHandle(alt_tab_);
  }

  bool ready() const { return edit_ && log_; }
  HWND edit() const { return edit_; }
  HWND window() const { return window_; }
  bool Focus() {
    std::string title(title_.begin(), title_.end());
    return Xdo("search --name '^" + title + "$' windowfocus --sync");
  }
  // Whether its edit has the focus in the window in front.
  bool HasFocus() const {
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof(gui);
    return GetForegroundWindow() == window_ &&
           GetGUIThreadInfo(GetWindowThreadProcessId(window_, nullptr), &gui) &&
           gui.hwndFocus == edit_;
  }
  // The same for 100 ms on end within |timeout_ms|: a window focused right
  // after a busy one can be deactivated again at once (not on the main
  // thread).
  bool KeepsFocus(int timeout_ms) const {
    for (int held = 0, waited = 0; waited < timeout_ms; waited += 10) {
      held = HasFocus() ? held + 1 : 0;
      if (held == 10) return true;
      Sleep(10);
    }
    return false;
  }
  // Whether an Alt+Tab reached its edit within |timeout_ms| (since the
  // last call).
  bool AltTabArrived(DWORD timeout_ms) const {
    return WaitForSingleObject(alt_tab_, timeout_ms) == WAIT_OBJECT_0;
  }
  std::wstring Text() const { return TextOf(edit_); }
  // A letter for each Return the editor got: "S" with Shift down, "-"
  // without.
  std::wstring ReturnLog() const { return TextOf(log_); }
  void Clear() {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""),
                        SMTO_NORMAL, 5000, &ignored);
  }

 private:
  // The windows are another process's: GetWindowTextW would not ask it.
  static std::wstring TextOf(HWND window) {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000,
                        &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(window, WM_GETTEXT, length + 1,
                        reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL, 5000,
                        &copied);
    text.resize(copied);
    return text;
  }

  std::wstring title_;
  HANDLE alt_tab_;
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
  HWND log_ = nullptr;
};

}  // namespace test_support

#endif  // KORVEX_TESTS_BENCH_SOAK_SUPPORT_H_
