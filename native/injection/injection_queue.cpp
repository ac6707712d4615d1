#include "injection/injection_queue.h"

#include <atomic>
#include <climits>
#include <deque>
#include <optional>
#include <utility>

#include "common/capture_log.h"
#include "common/message_wait.h"
#include "feedback/key_sounds.h"
#include "injection/input_synthesis.h"
// The queue and the keyboard engine need each other: a task keeps the
// user's keys back, and typing on this thread takes the hook out.
#include "keyboard/key_queue.h"
#include "keyboard/keyboard_hook.h"
#include "keyboard/keyboard_state.h"

namespace {

constexpr wchar_t kInjectionWindowClass[] = L"KorvexInjectionWindow";

struct QueueEntry {
  InjectionTask task;
  InjectionReply reply;
  std::optional<InjectionTarget> target;
};

std::deque<QueueEntry> injection_queue;
bool busy = false;
// Tells the running task's end from that of one the flush already joined.
WPARAM task_generation = 0;
ServedThread worker;
InjectionReply pending_reply;
// The running task's outcome, for a flush that joins it itself.
std::atomic<bool> running_sent{false};
ULONGLONG first_blocked_ms = 0;
UINT_PTR retry_timer = 0;
HWND injection_window = nullptr;

void Answer(InjectionReply& reply, bool sent) {
  if (reply) {
    reply->Success(flutter::EncodableValue(sent));
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

// Runs |entry|'s task bound to its target.
bool RunBound(const QueueEntry& entry, const InjectionContext& context) {
  BindInjectionTarget(entry.target ? &*entry.target : nullptr);
  const bool sent = entry.task(context);
  BindInjectionTarget(nullptr);
  return sent;
}

// Runs |entry| to its end before returning, on a worker thread, so that the
// hook keeps answering for the input the task sends; input still unsent at
// |deadline| is dropped. True when all of it was sent.
bool RunTaskToEnd(const QueueEntry& entry, ULONGLONG deadline) {
  const InjectionContext context = CurrentContext();
  bool sent = false;
  ServedThread runner;
  if (runner.Start([&entry, &sent, context] { sent = RunBound(entry, context); })) {
    return !FinishBy(runner, deadline) && sent;
  }
  // No thread to be had: type from here with the hook out of the way.
  SuspendKeyboardHook();
  sent = RunBound(entry, context);
  ReinstallKeyboardHook();
  return sent;
}

void CALLBACK InjectionRetryTimerProc(HWND, UINT, UINT_PTR timer_id, DWORD) {
  if (timer_id == retry_timer && retry_timer != 0) {
    PumpInjectionQueue();
  }
}

void OnInjectionDone(WPARAM generation, bool sent) {
  if (!busy || generation != task_generation) {
    return;
  }
  busy = false;
  worker.Join();
  ResyncAfterTask();
  InjectionReply reply = std::move(pending_reply);
  Answer(reply, sent);
  PumpInjectionQueue();
}

LRESULT CALLBACK InjectionWindowProc(HWND window, UINT message, WPARAM wparam,
                                     LPARAM lparam) {
  switch (message) {
    case kInjectionDoneMessage:
      OnInjectionDone(wparam, lparam != 0);
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
  return false;
}

// Why the task at the front must not run; null when it may.
const char* Refusal(const QueueEntry& entry) {
  if (entry.target && !(TargetInFront() == *entry.target)) {
    return "inject: the window it was meant for left the front, refused";
  }
  // A window switch may be under way, or Start about to open.
  if (AltOrWinHeld()) {
    return "inject: Alt or Win still held, refused";
  }
  return nullptr;
}

// The keep-back limit passed: what is queued is answered false, and the
// running task stops at its next event.
void GiveUpTasks() {
  while (!injection_queue.empty()) {
    QueueEntry entry = std::move(injection_queue.front());
    injection_queue.pop_front();
    Answer(entry.reply, false);
  }
  if (busy) {
    AbandonInjection(true);
  } else {
    StopKeepingKeysBack(kInjectionTask);
  }
}

}  // namespace

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

void EnqueueInjection(InjectionTask task, InjectionReply reply,
                      const InjectionTarget* target) {
  QueueEntry entry{std::move(task), std::move(reply), std::nullopt};
  if (target) {
    entry.target = *target;
  }
  injection_queue.push_back(std::move(entry));
  KeepKeysBack(kInjectionTask, GiveUpTasks);
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
    if (const char* refusal = Refusal(entry)) {
      WriteTraceLine(refusal);
      Answer(entry.reply, false);
      continue;
    }
    ReleaseHeldModifiers();
    AbandonInjection(false);
    HWND window = EnsureInjectionWindow();
    if (window) {
      worker.Join();
      const InjectionContext context = CurrentContext();
      auto running = std::make_shared<QueueEntry>(
          QueueEntry{std::move(entry.task), nullptr, entry.target});
      const WPARAM generation = ++task_generation;
      const bool started = worker.Start([running, context, window, generation] {
        const bool sent = RunBound(*running, context);
        running_sent = sent;
        PostMessageW(window, kInjectionDoneMessage, generation, sent ? 1 : 0);
      });
      if (started) {
        busy = true;
        pending_reply = std::move(entry.reply);
        break;
      }
      entry.task = std::move(running->task);
    }
    const bool sent = RunTaskToEnd(entry, ULLONG_MAX);
    ResyncAfterTask();
    Answer(entry.reply, sent);
  }
  if (retry_timer && injection_queue.empty()) {
    KillTimer(nullptr, retry_timer);
    retry_timer = 0;
  }
  if (!busy && injection_queue.empty()) {
    StopKeepingKeysBack(kInjectionTask);
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
    // Its own end message is stale now.
    Answer(pending_reply, !cut_short && running_sent);
  }
  while (!injection_queue.empty()) {
    QueueEntry entry = std::move(injection_queue.front());
    injection_queue.pop_front();
    bool sent = false;
    if (!cut_short && !Refusal(entry)) {
      ReleaseHeldModifiers();
      AbandonInjection(false);
      sent = RunTaskToEnd(entry, deadline);
      cut_short = !sent && GetTickCount64() >= deadline;
      ResyncAfterTask();
    }
    Answer(entry.reply, sent);
  }
  AbandonInjection(false);
  StopKeepingKeysBack(kInjectionTask);
}

void ShutDownInjectionWorker() {
  worker.Join();
  if (injection_window) {
    DestroyWindow(injection_window);
    injection_window = nullptr;
  }
}
