#ifndef KORVEX_NATIVE_BRIDGE_MESSAGE_WAIT_H_
#define KORVEX_NATIVE_BRIDGE_MESSAGE_WAIT_H_

#include <windows.h>

// Waits that keep serving the low-level hooks. The system calls a hook
// through its thread's sent messages and removes the hook without notice
// when the thread does not answer in time, so the main thread never blocks
// in a plain wait while a hook of its own is installed. Only sent messages
// are served: posted messages (channel tasks, timers) wait for the loop, so
// nothing re-enters the caller but the hooks and cross-thread sends.

// True when |handle| was signalled within |timeout_ms| (INFINITE allowed).
bool WaitServingSentMessages(HANDLE handle, DWORD timeout_ms);

// Sleeps |ms| milliseconds while serving sent messages.
void SleepServingSentMessages(DWORD ms);

#endif  // KORVEX_NATIVE_BRIDGE_MESSAGE_WAIT_H_
