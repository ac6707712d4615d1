#ifndef KORVEX_NATIVE_INJECTION_INJECTION_QUEUE_H_
#define KORVEX_NATIVE_INJECTION_INJECTION_QUEUE_H_

#include <flutter/encodable_value.h>
#include <flutter/method_result.h>
#include <windows.h>

#include <functional>
#include <memory>

#include "injection/injection_target.h"

// The injecting methods run one at a time, in call order, on a short-lived
// worker thread while the main thread keeps running the hooks. The worker
// reports its end to a message-only window, where the call is answered and
// the next task starts.

constexpr UINT kInjectionDoneMessage = WM_APP + 31;
// wParam: the foreground layout at a physical key press.
constexpr UINT kKeySoundMessage = WM_APP + 32;
constexpr ULONGLONG kModifierWaitMs = 400;
constexpr UINT kInjectionRetryMs = 10;
constexpr ULONGLONG kFlushGraceMs = 5000;

// What a task gets from the main thread when it starts.
struct InjectionContext {
  // The Caps Lock toggle as the main thread sees it: a worker that reads no
  // input would see a stale one.
  bool caps_lock_on = false;
};

// True when all of the task's input was sent.
using InjectionTask = std::function<bool(const InjectionContext&)>;
using InjectionReply =
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>>;

// Queues |task|; |reply| (may be null) is answered once the task has run:
// true when all its input was sent, false when none or only part of it was
// (the window or control of |target| left the front, the user held Alt or
// Win, the service gave up on it). A null |target| binds it to nothing.
// The user's keys wait while tasks are queued or running.
void EnqueueInjection(InjectionTask task, InjectionReply reply,
                      const InjectionTarget* target = nullptr);

// Starts the next task when nothing runs and no modifier is held (or the
// 400 ms wait for the user's fingers is over).
void PumpInjectionQueue();

// Runs the running and every queued task to their end now, answering each;
// the hooks keep being served meanwhile. Input still unsent after
// kFlushGraceMs is dropped and its call answered false.
void FlushInjectionQueue();

// A task is running on the worker thread.
bool InjectionRunning();

// Created on first use; null when it cannot be created (tried again later).
HWND EnsureInjectionWindow();

// After FlushInjectionQueue at service teardown: the worker is gone and the
// window destroyed.
void ShutDownInjectionWorker();

#endif  // KORVEX_NATIVE_INJECTION_INJECTION_QUEUE_H_
