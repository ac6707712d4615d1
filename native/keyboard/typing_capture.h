#ifndef KORVEX_NATIVE_KEYBOARD_TYPING_CAPTURE_H_
#define KORVEX_NATIVE_KEYBOARD_TYPING_CAPTURE_H_

#include <windows.h>

// Typing capture keeps the user's keys back (key_queue.h) while the
// application changes the text, and lets them go afterwards in order.

extern bool capture_active;
extern UINT_PTR capture_timer;

constexpr UINT kCaptureTimeoutMs = 2000;

void StartTypingCapture();
// Also when capture was not on.
void StopTypingCapture();

#endif  // KORVEX_NATIVE_KEYBOARD_TYPING_CAPTURE_H_
