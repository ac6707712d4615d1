#include "keyboard/typing_capture.h"

#include "common/capture_log.h"
#include "keyboard/key_queue.h"

bool capture_active = false;
UINT_PTR capture_timer = 0;

namespace {

void KillCaptureTimer() {
  if (capture_timer) {
    KillTimer(nullptr, capture_timer);
    capture_timer = 0;
  }
}

void CALLBACK CaptureTimeoutProc(HWND, UINT, UINT_PTR timer_id, DWORD) {
  if (timer_id != capture_timer || capture_timer == 0) {
    return;
  }
  // A running injection still keeps the keys back on its own.
  WriteTraceLine("capture timeout");
  StopTypingCapture();
}

}  // namespace

void StartTypingCapture() {
  capture_active = true;
  KillCaptureTimer();
  capture_timer = SetTimer(nullptr, 0, kCaptureTimeoutMs, CaptureTimeoutProc);
  KeepKeysBack(kTypingCapture, StopTypingCapture);
}

void StopTypingCapture() {
  capture_active = false;
  KillCaptureTimer();
  StopKeepingKeysBack(kTypingCapture);
}
