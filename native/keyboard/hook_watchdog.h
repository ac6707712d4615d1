#ifndef KORVEX_NATIVE_KEYBOARD_HOOK_WATCHDOG_H_
#define KORVEX_NATIVE_KEYBOARD_HOOK_WATCHDOG_H_

#include <windows.h>

// The system removes a low-level hook without notice when its thread once
// answers too slowly. While the application listens, a thread timer compares
// what the hooks saw with the system's last input, and puts the hooks back
// when input keeps going past them.

// The tick count when either hook last saw an event: the hooks' only cost.
// Not the event's own time, which whoever injects it may choose.
extern DWORD hook_event_time;

constexpr UINT kHookWatchdogPeriodMs = 1000;
// A hook answering later than this has been given up on by the system.
constexpr DWORD kHookLatencyAllowanceMs = 500;

// With the listener: the timer runs exactly while the hooks are meant to be
// in. |put_back_hooks| puts them back when they are found lost.
void StartHookWatchdog(void (*put_back_hooks)());
void StopHookWatchdog();

// The engine itself took input past the hooks (a suspended keyboard hook):
// what the system saw until now is no sign of a lost hook.
void RebaselineHookWatchdog();

// The desktop came back (unlock, console connect, resume): input the hooks
// missed since the last look puts them back at once.
void CheckHooksAfterAbsence();

#endif  // KORVEX_NATIVE_KEYBOARD_HOOK_WATCHDOG_H_
