#ifndef KORVEX_NATIVE_KEYBOARD_TYPING_CAPTURE_H_
#define KORVEX_NATIVE_KEYBOARD_TYPING_CAPTURE_H_

#include <windows.h>

#include <cstdint>
#include <deque>
#include <vector>

// Typing capture keeps a burst of key strokes from the application while it
// is being changed, and replays them afterwards in order with their Shift
// states.

// Marks the replayed key-downs and key-ups: "KRVR".
constexpr ULONG_PTR kReplayMarker = 0x4B525652;

struct CapturedKey {
  uint16_t vk;
  uint16_t scan;
  uint8_t extended;
  uint8_t shift;  // the user physically held a Shift key
};

extern bool capture_active;
extern UINT_PTR capture_timer;
extern std::vector<CapturedKey> captured_keys;
extern bool captured_key_down[256];
// One Shift state per replayed key-down, taken by the key path.
extern std::deque<uint8_t> replay_shift_queue;

constexpr UINT kCaptureTimeoutMs = 2000;
constexpr UINT kCaptureRetryMs = 100;

// For a non-modifier key event: true when capture takes (swallows) it.
bool CaptureKey(WPARAM message, const KBDLLHOOKSTRUCT& event);

void StartTypingCapture();
void StopTypingCapture();

// Ends capture and replays what it holds; |shift_mode| negative reads the
// Shift state from the system, 0 means up, positive means down.
void FlushCapturedKeys(int shift_mode);

// The replay's events for |keys| while Shift stays |shift_current|: a key
// typed in the other Shift state gets its own Shift events around it.
std::vector<INPUT> BuildReplayEvents(const std::vector<CapturedKey>& keys,
                                     bool shift_current);

#endif  // KORVEX_NATIVE_KEYBOARD_TYPING_CAPTURE_H_
