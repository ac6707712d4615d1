#include "keyboard/hook_watchdog.h"

#include <cstdint>

#include "common/capture_log.h"
#include "common/service_state.h"
#include "keyboard/keyboard_state.h"
#include "keyboard/modifier_tracking.h"

DWORD hook_event_time = 0;

namespace {

UINT_PTR watchdog_timer = 0;
void (*put_back)() = nullptr;
// What the system and the hooks had seen at the last look.
DWORD looked_input_time = 0;
DWORD looked_hook_time = 0;
// Input went past the hooks at the last look; a second look without any
// hook event in between confirms it, so that a hook call still on its way
// is no loss.
bool input_unseen = false;
// After a repair, none again until the new hooks have seen an event: input
// they cannot see (another desktop, an elevated window) is no lost hook.
bool awaiting_hook_event = false;
DWORD repaired_hook_time = 0;

bool SystemInputTime(DWORD* time) {
  LASTINPUTINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetLastInputInfo(&info)) {
    return false;
  }
  *time = info.dwTime;
  return true;
}

// The system may count an event only once the hooks let it go, so the
// hooks' time of a seen event can be this much older than the system's.
bool LongAfter(DWORD later, DWORD earlier) {
  return static_cast<int32_t>(later - earlier) >
         static_cast<int32_t>(kHookLatencyAllowanceMs);
}

// From now on, as if the hooks had seen everything until |input_time|.
void StartOver(DWORD input_time) {
  hook_event_time = input_time;
  looked_input_time = input_time;
  looked_hook_time = input_time;
  input_unseen = false;
}

void Repair(DWORD input_time) {
  // The application was told of modifier presses whose releases went past;
  // it hears of them before the tables are taken from the system.
  CheckStuckModifiers("hook lost");
  if (put_back) {
    put_back();
  }
  StartOver(input_time);
  awaiting_hook_event = true;
  repaired_hook_time = input_time;
  EmitDiag("keyboard hook lost: reinstalled");
}

void LookAtHooks(bool desktop_returned) {
  DWORD input_time = 0;
  if (!key_event_sink || keyboard_hook_suspended ||
      !SystemInputTime(&input_time)) {
    return;
  }
  const DWORD seen = hook_event_time;
  if (awaiting_hook_event && seen != repaired_hook_time) {
    awaiting_hook_event = false;
  }
  const bool hooks_quiet = seen == looked_hook_time;
  // New input while the hooks saw nothing, or input well after the last
  // event they saw (a hook lost in the middle of typing).
  const bool unseen = !awaiting_hook_event &&
                      ((input_time != looked_input_time && hooks_quiet) ||
                       LongAfter(input_time, seen));
  looked_input_time = input_time;
  looked_hook_time = seen;
  if (unseen && ((input_unseen && hooks_quiet) || desktop_returned)) {
    Repair(input_time);
    return;
  }
  input_unseen = unseen;
}

void CALLBACK WatchdogTimerProc(HWND, UINT, UINT_PTR timer_id, DWORD) {
  if (timer_id == watchdog_timer && watchdog_timer != 0) {
    LookAtHooks(false);
  }
}

}  // namespace

void StartHookWatchdog(void (*put_back_hooks)()) {
  StopHookWatchdog();
  put_back = put_back_hooks;
  awaiting_hook_event = false;
  RebaselineHookWatchdog();
  watchdog_timer =
      SetTimer(nullptr, 0, kHookWatchdogPeriodMs, WatchdogTimerProc);
}

void StopHookWatchdog() {
  if (watchdog_timer) {
    KillTimer(nullptr, watchdog_timer);
    watchdog_timer = 0;
  }
}

void RebaselineHookWatchdog() {
  DWORD input_time = 0;
  if (SystemInputTime(&input_time)) {
    StartOver(input_time);
  }
}

void CheckHooksAfterAbsence() {
  LookAtHooks(true);
}
