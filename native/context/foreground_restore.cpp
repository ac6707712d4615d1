#include "context/foreground_restore.h"

#include <windows.h>

#include <string>

#include "common/capture_log.h"
#include "common/message_wait.h"
#include "context/foreground_window.h"

namespace {

constexpr DWORD kPollStepMs = 10;
constexpr DWORD kForegroundPollLimitMs = 400;
constexpr DWORD kFocusPollLimitMs = 300;

// Polls for the target in front; the waits serve the hooks, which this
// thread runs.
bool WaitForForeground(HWND target) {
  for (DWORD waited = 0; waited < kForegroundPollLimitMs;
       waited += kPollStepMs) {
    if (GetForegroundWindow() == target) {
      return true;
    }
    SleepServingSentMessages(kPollStepMs);
  }
  return GetForegroundWindow() == target;
}

// Focus-stealing prevention lets a process that shares the foreground
// thread's input state take the foreground.
void ForceForeground(HWND target) {
  HWND foreground = GetForegroundWindow();
  const DWORD owner =
      foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
  const DWORD calling = GetCurrentThreadId();
  const bool attached = owner != 0 && owner != calling &&
                        AttachThreadInput(calling, owner, TRUE);
  BringWindowToTop(target);
  SetForegroundWindow(target);
  if (attached) {
    AttachThreadInput(calling, owner, FALSE);
  }
}

// Keys typed right after the switch would be lost until the target's thread
// has a focused control.
void WaitForFocus(HWND target) {
  const DWORD thread = GetWindowThreadProcessId(target, nullptr);
  for (DWORD waited = 0; waited < kFocusPollLimitMs; waited += kPollStepMs) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (GetGUIThreadInfo(thread, &info) && info.hwndFocus) {
      return;
    }
    SleepServingSentMessages(kPollStepMs);
  }
}

}  // namespace

bool RestoreForegroundWindow() {
  HWND target = remembered_foreground_window;
  if (!target || !IsWindow(target)) {
    EmitDiag("restoreForeground: no remembered window");
    return false;
  }
  if (IsIconic(target)) {
    ShowWindow(target, SW_RESTORE);
  }
  bool restored = GetForegroundWindow() == target;
  if (!restored) {
    SetForegroundWindow(target);
    restored = WaitForForeground(target);
  }
  if (!restored) {
    ForceForeground(target);
    restored = WaitForForeground(target);
  }
  if (restored) {
    WaitForFocus(target);
  }
  EmitDiag(std::string("restoreForeground ") + (restored ? "ok" : "FAILED") +
           " target=" + WindowClassUtf8(target) +
           " now=" + WindowClassUtf8(GetForegroundWindow()));
  return restored;
}
