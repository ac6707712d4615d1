#include "common/message_wait.h"

#include <memory>
#include <utility>

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

namespace {

DWORD WINAPI ServedThreadMain(LPVOID parameter) {
  std::unique_ptr<std::function<void()>> body(
      static_cast<std::function<void()>*>(parameter));
  (*body)();
  return 0;
}

}  // namespace

bool ServedThread::Start(std::function<void()> body) {
  auto* owned = new std::function<void()>(std::move(body));
  handle_ = CreateThread(nullptr, 0, &ServedThreadMain, owned, 0, nullptr);
  if (!handle_) {
    delete owned;
    return false;
  }
  return true;
}

bool ServedThread::Join(DWORD timeout_ms) {
  if (!handle_) {
    return true;
  }
  if (!WaitServingSentMessages(handle_, timeout_ms)) {
    return false;
  }
  CloseHandle(handle_);
  handle_ = nullptr;
  return true;
}
