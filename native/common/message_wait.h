#ifndef KORVEX_NATIVE_COMMON_MESSAGE_WAIT_H_
#define KORVEX_NATIVE_COMMON_MESSAGE_WAIT_H_

#include <windows.h>

#include <functional>

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

// A thread whose end the main thread waits for while serving sent
// messages. Joined before it goes out of use; it does not join itself.
class ServedThread {
 public:
  ServedThread() = default;
  ServedThread(const ServedThread&) = delete;
  ServedThread& operator=(const ServedThread&) = delete;

  // False when no thread could be started; |body| then never runs.
  bool Start(std::function<void()> body);
  // True when the thread has ended (or there was none).
  bool Join(DWORD timeout_ms = INFINITE);

 private:
  HANDLE handle_ = nullptr;
};

#endif  // KORVEX_NATIVE_COMMON_MESSAGE_WAIT_H_
