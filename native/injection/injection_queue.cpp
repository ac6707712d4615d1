#include "injection/injection_queue.h"

#include <climits>
#include <deque>
#include <utility>

#include "bridge/message_wait.h"
#include "diagnostics/capture_log.h"
#include "feedback/key_sounds.h"
#include "injection/input_synthesis.h"
#include "keyboard/keyboard_hook.h"
#include "keyboard/keyboard_state.h"

namespace {

constexpr wchar_t kInjectionWindowClass[] = L"KorvexInjectionWindow";

struct QueueEntry {
  InjectionTask task;
  InjectionReply reply;
};

std::deque<QueueEntry> injection_queue;
bool busy = false;
// Tells the running task's end from that of one the flush already joined.
WPARAM task_generation = 0;
ServedThread worker;
InjectionReply pending_reply;
ULONGLONG first_blocked_ms = 0;
UINT_PTR retry_timer = 0;
HWND injection_window = nullptr;

void Answer(InjectionReply& reply, bool cut_short = false) {
  if (reply) {
    if (cut_short) {
      reply->Error("abandoned",
                   "the key event stream ended before this input was sent");
    } else {
      reply->Success();
    }
    reply.reset();
  }
}

// Joins |thread| by |deadline| (GetTickCount64); past it the task is told to
// stop at its next event and joined then. True when it was cut short.
bool FinishBy(ServedThread& thread, ULONGLONG deadline) {
  const ULONGLONG now = GetTickCount64();
  const ULONGLONG left = deadline > now ? deadline - now : 0;
  if (thread.Join(left >= INFINITE ? INFINITE : static_cast<DWORD>(left))) {
    return false;
  }
  AbandonInjection(true);
  thread.Join();
  return true;
}

InjectionContext CurrentContext() {
  InjectionContext context;
  context.caps_lock_on = CapsLockToggled();
  return context;
}

// The hook stayed in during the task, so its own view of the user's keys
// is whole; the system's would count the task's Shift releases as the
// user's.
void ResyncAfterTask() {
  ResyncKeyStateFromSystem();
}

// Runs |task| to its end before returning, on a worker thread, so that the
// hook keeps answering for the input the task sends; input still unsent at
// |deadline| is dropped. True when the task was cut short.
bool RunTaskToEnd(const InjectionTask& task, ULONGLONG deadline) {
  const InjectionContext context = CurrentContext();
  ServedThread runner;
  if (runner.Start([&task, context] { task(context); })) {
    return FinishBy(runner, deadline);
  }
  // No thread to be had: type from here with the hook out of the way.
  SuspendKeyboardHook();
  task(context);
  ReinstallKeyboardHook();
  return false;
}

void CALLBACK InjectionRetryTimerProc(HWND, UINT, UINT_PTR timer_id, DWORD) {
  if (timer_id == retry_timer && retry_timer != 0) {
    PumpInjectionQueue();
  }
}

void OnInjectionDone(WPARAM generation) {
  if (!busy || generation != task_generation) {
    return;
  }
  busy = false;
  worker.Join();
  ResyncAfterTask();
  InjectionReply reply = std::move(pending_reply);
  Answer(reply);
  PumpInjectionQueue();
}

LRESULT CALLBACK InjectionWindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) {
  switch (message) {
    case kInjectionDoneMessage:
      OnInjectionDone(wparam);
      return 0;
    case kKeySoundMessage:
      PlayLayoutKeySound(static_cast<uint32_t>(wparam & 0xFFFFFFFFu));
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// True when the queue must wait for the user to let go of modifiers.
bool WaitForModifiers() {
  if (!AnyModifierHeld()) {
    return false;
  }
  const ULONGLONG now = GetTickCount64();
  if (first_blocked_ms == 0) {
    first_blocked_ms = now;
  }
  if (now - first_blocked_ms < kModifierWaitMs) {
    if (!retry_timer) {
      retry_timer =
          SetTimer(nullptr, 0, kInjectionRetryMs, InjectionRetryTimerProc);
    }
    return true;
  }
  WriteTraceLine("inject: modifiers still held, forcing");
  return false;
}

}  // namespace

bool CapsLockToggled() {
  // While the hook runs it follows the toggle; this thread's own state is
  // as of the last event it saw.
  return keyboard_hook && !caps_lock_stale ? caps_lock_on
                                           : (GetKeyState(VK_CAPITAL) & 1) != 0;
}

HWND EnsureInjectionWindow() {
  if (injection_window) {
    return injection_window;
  }
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = InjectionWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kInjectionWindowClass;
  RegisterClassW(&window_class);
  injection_window =
      CreateWindowExW(0, kInjectionWindowClass, L"", 0, 0, 0, 0, 0,
                      HWND_MESSAGE, nullptr, instance, nullptr);
  return injection_window;
}

void EnqueueInjection(InjectionTask task, InjectionReply reply) {
  injection_queue.push_back({std::move(task), std::move(reply)});
  PumpInjectionQueue();
}

bool InjectionRunning() {
  return busy;
}

void PumpInjectionQueue() {
  while (!busy && !injection_queue.empty()) {
    if (WaitForModifiers()) {
      return;
    }
    first_blocked_ms = 0;
    QueueEntry entry = std::move(injection_queue.front());
    injection_queue.pop_front();
    ReleaseHeldModifiers();
    HWND window = EnsureInjectionWindow();
    if (window) {
      worker.Join();
      const InjectionContext context = CurrentContext();
      InjectionTask task = std::move(entry.task);
      const WPARAM generation = ++task_generation;
      const bool started = worker.Start([task, context, window, generation] {
        task(context);
        PostMessageW(window, kInjectionDoneMessage, generation, 0);
      });
      if (started) {
        busy = true;
        pending_reply = std::move(entry.reply);
        break;
      }
      entry.task = std::move(task);
    }
    RunTaskToEnd(entry.task, ULLONG_MAX);
    ResyncAfterTask();
    Answer(entry.reply);
  }
  if (retry_timer && injection_queue.empty()) {
    KillTimer(nullptr, retry_timer);
    retry_timer = 0;
  }
}

void FlushInjectionQueue() {
  if (retry_timer) {
    KillTimer(nullptr, retry_timer);
    retry_timer = 0;
  }
  first_blocked_ms = 0;
  const ULONGLONG deadline = GetTickCount64() + kFlushGraceMs;
  bool cut_short = false;
  if (busy) {
    cut_short = FinishBy(worker, deadline);
    busy = false;
    ResyncAfterTask();
    Answer(pending_reply, cut_short);
  }
  while (!injection_queue.empty()) {
    QueueEntry entry = std::move(injection_queue.front());
    injection_queue.pop_front();
    if (!cut_short) {
      ReleaseHeldModifiers();
      cut_short = RunTaskToEnd(entry.task, deadline);
      ResyncAfterTask();
    }
    Answer(entry.reply, cut_short);
  }
  AbandonInjection(false);
}

void ShutDownInjectionWorker() {
  worker.Join();
  if (injection_window) {
    DestroyWindow(injection_window);
    injection_window = nullptr;
  }
}
