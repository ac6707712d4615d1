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
  SoakTarget() {
    std::wstring command = L"\"" + ProgramFolder() + L"\\soak_target.exe\" " +
                           std::to_wstring(GetCurrentProcessId());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process_)) {
      process_ = {};
      return;
    }
    PumpUntil(
        [&] {
          window_ = FindWindowW(L"KorvexSoakTarget", nullptr);
          edit_ = window_ ? GetWindow(window_, GW_CHILD) : nullptr;
          return edit_ != nullptr;
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
  }

  bool ready() const { return edit_ != nullptr; }
  HWND edit() const { return edit_; }
  void Focus() {
    Xdo("search --name '^korvex-soak-target$' windowfocus --sync");
  }
  // The editor is another process's: GetWindowTextW would not ask it.
  std::wstring Text() const {
    DWORD_PTR length = 0;
    SendMessageTimeoutW(edit_, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000,
                        &length);
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    SendMessageTimeoutW(edit_, WM_GETTEXT, length + 1,
                        reinterpret_cast<LPARAM>(&text[0]), SMTO_NORMAL, 5000,
                        &copied);
    text.resize(copied);
    return text;
  }
  void Clear() {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(edit_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L""),
                        SMTO_NORMAL, 5000, &ignored);
  }

 private:
  PROCESS_INFORMATION process_ = {};
  HWND window_ = nullptr;
  HWND edit_ = nullptr;
};

}  // namespace test_support

#endif  // KORVEX_TESTS_BENCH_SOAK_SUPPORT_H_
