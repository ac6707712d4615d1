#include "keyboard/typing_capture.h"

#include <string>

#include "diagnostics/capture_log.h"
#include "injection/injection_queue.h"
#include "injection/input_synthesis.h"
#include "keyboard/keyboard_state.h"

bool capture_active = false;
UINT_PTR capture_timer = 0;
std::vector<CapturedKey> captured_keys;
bool captured_key_down[256] = {};
std::deque<uint8_t> replay_shift_queue;

namespace {

constexpr WORD kShiftScan = 0x2A;

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
  if (InjectionRunning()) {
    // Replaying in the middle of an injection would mix the user's keys
    // into the text being typed: try again once it is done.
    KillTimer(nullptr, capture_timer);
    capture_timer = SetTimer(nullptr, 0, kCaptureRetryMs, CaptureTimeoutProc);
    return;
  }
  WriteTraceLine("capture timeout");
  StopTypingCapture();
}

INPUT ShiftEvent(bool press) {
  return KeyboardInput(VK_SHIFT, kShiftScan, press ? 0 : KEYEVENTF_KEYUP,
                       kInjectionMarker);
}

}  // namespace

bool CaptureKey(WPARAM message, const KBDLLHOOKSTRUCT& event) {
  if (!capture_active) {
    return false;
  }
  const unsigned index = KeyIndex(event.vkCode);
  if (message == WM_KEYUP || message == WM_SYSKEYUP) {
    if (captured_key_down[index]) {
      captured_key_down[index] = false;
      return true;
    }
    return false;
  }
  if (ctrl_down || alt_down || meta_down) {
    return false;
  }
  CapturedKey key;
  key.vk = static_cast<uint16_t>(event.vkCode & 0xFFFF);
  key.scan = static_cast<uint16_t>(event.scanCode & 0xFFFF);
  key.extended = (event.flags & LLKHF_EXTENDED) ? 1 : 0;
  key.shift =
      (physical_key_down[VK_LSHIFT] || physical_key_down[VK_RSHIFT]) ? 1 : 0;
  captured_keys.push_back(key);
  captured_key_down[index] = true;
  if (capture_log) {
    WriteTraceLine("capture vk=" + std::to_string(event.vkCode));
  }
  return true;
}

void StartTypingCapture() {
  capture_active = true;
  KillCaptureTimer();
  capture_timer = SetTimer(nullptr, 0, kCaptureTimeoutMs, CaptureTimeoutProc);
}

void StopTypingCapture() {
  RestoreReleasedShiftKeys(physical_key_down);
  ResyncKeyStateFromSystem();
  tracked_key_down[VK_LSHIFT] =
      tracked_key_down[VK_LSHIFT] || physical_key_down[VK_LSHIFT];
  tracked_key_down[VK_RSHIFT] =
      tracked_key_down[VK_RSHIFT] || physical_key_down[VK_RSHIFT];
  RecomputeModifierFlags();
  FlushCapturedKeys(
      (physical_key_down[VK_LSHIFT] || physical_key_down[VK_RSHIFT]) ? 1 : 0);
}

std::vector<INPUT> BuildReplayEvents(const std::vector<CapturedKey>& keys,
                                     bool shift_current) {
  std::vector<INPUT> events;
  events.reserve(keys.size() * 4);
  for (const CapturedKey& key : keys) {
    const bool shift = key.shift != 0;
    const bool adjust = shift != shift_current;
    const DWORD extended = key.extended ? KEYEVENTF_EXTENDEDKEY : 0;
    if (adjust) {
      events.push_back(ShiftEvent(shift));
    }
    events.push_back(KeyboardInput(key.vk, key.scan, extended, kReplayMarker));
    events.push_back(KeyboardInput(key.vk, key.scan, extended | KEYEVENTF_KEYUP,
                                   kReplayMarker));
    if (adjust) {
      events.push_back(ShiftEvent(!shift));
    }
  }
  return events;
}

void FlushCapturedKeys(int shift_mode) {
  capture_active = false;
  KillCaptureTimer();
  std::vector<CapturedKey> keys;
  keys.swap(captured_keys);
  if (keys.empty()) {
    return;
  }
  if (capture_log) {
    WriteTraceLine("capture flush n=" + std::to_string(keys.size()));
  }
  const bool shift_current =
      shift_mode < 0 ? GetAsyncKeyState(VK_SHIFT) < 0 : shift_mode != 0;
  std::vector<INPUT> events = BuildReplayEvents(keys, shift_current);
  for (const CapturedKey& key : keys) {
    replay_shift_queue.push_back(key.shift);
  }
  // One call: nothing the user types can come between the replayed keys.
  SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}
