#include "bridge/message_wait.h"

namespace {

void ServeSentMessages() {
  MSG message;
  // PM_QS_SENDMESSAGE dispatches the pending sent messages (and with them
  // the hook calls) and looks at nothing else in the queue.
  PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

}  // namespace

bool WaitServingSentMessages(HANDLE handle, DWORD timeout_ms) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD left = INFINITE;
    if (timeout_ms != INFINITE) {
      const ULONGLONG elapsed = GetTickCount64() - start;
      left = elapsed >= timeout_ms ? 0 : static_cast<DWORD>(timeout_ms - elapsed);
    }
    const DWORD count = handle ? 1 : 0;
    const DWORD result = MsgWaitForMultipleObjectsEx(
        count, handle ? &handle : nullptr, left, QS_SENDMESSAGE, 0);
    if (handle && result == WAIT_OBJECT_0) {
      return true;
    }
    if (result == WAIT_OBJECT_0 + count) {
      ServeSentMessages();
      continue;
    }
    // Time-out, or a failed wait (a closed handle): nothing more to wait for.
    ServeSentMessages();
    return false;
  }
}

void SleepServingSentMessages(DWORD ms) {
  WaitServingSentMessages(nullptr, ms);
}
