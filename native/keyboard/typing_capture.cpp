#include "keyboard/typing_capture.h"

#include <cstddef>
#include <string>

#include "diagnostics/capture_log.h"
#include "injection/injection_queue.h"
#include "injection/input_synthesis.h"
#include "keyboard/key_hold.h"
#include "keyboard/keyboard_state.h"

bool capture_active = false;
UINT_PTR capture_timer = 0;
std::vector<CapturedKey> captured_keys;
bool captured_key_down[256] = {};
std::deque<uint8_t> replay_shift_queue;
bool replay_draining = false;
int replay_events_in_flight = 0;

namespace {

constexpr WORD kShiftScan = 0x2A;

// The user's keys that came while a replay was on its way: after every key
// of that replay, also those of it taken again behind a held key.
std::vector<CapturedKey> keys_after_replay;
UINT_PTR drain_timer = 0;
ULONGLONG replay_sent_ms = 0;
// Shift in the target once the last replay is through.
bool shift_after_replay = false;

bool IsShiftKey(DWORD vk) {
  return vk == VK_SHIFT || vk == VK_LSHIFT || vk == VK_RSHIFT;
}

bool IsWordEndKey(DWORD vk) {
  return vk == VK_TAB || vk == VK_RETURN;
}

bool UserHoldsShift() {
  return physical_key_down[VK_LSHIFT] || physical_key_down[VK_RSHIFT];
}

void CALLBACK DrainTimerProc(HWND, UINT, UINT_PTR timer_id, DWORD);

// Where a key taken now goes.
std::vector<CapturedKey>& TakenKeys(bool replay) {
  return capture_active || replay ? captured_keys : keys_after_replay;
}

void MoveKeysAfterReplay() {
  captured_keys.insert(captured_keys.end(), keys_after_replay.begin(),
                       keys_after_replay.end());
  keys_after_replay.clear();
}

void StartDrain() {
  if (!replay_draining) {
    // Nothing was taken before: the application's Shift is the user's.
    shift_after_replay = UserHoldsShift();
  }
  replay_draining = true;
  if (!drain_timer) {
    drain_timer = SetTimer(nullptr, 0, kReplayDrainPollMs, DrainTimerProc);
  }
}

void StopDrain() {
  if (drain_timer) {
    KillTimer(nullptr, drain_timer);
    drain_timer = 0;
  }
  replay_draining = false;
  replay_events_in_flight = 0;
}

void CALLBACK DrainTimerProc(HWND, UINT, UINT_PTR timer_id, DWORD) {
  if (timer_id != drain_timer || drain_timer == 0) {
    return;
  }
  // A replay the system refused in part would never be seen to its end.
  if (replay_events_in_flight > 0 &&
      GetTickCount64() - replay_sent_ms < kReplayDrainLimitMs) {
    return;
  }
  // A word end held from the replay goes out first: the keys taken after it
  // wait for its release (its timer bounds the wait).
  if (held_key_id != 0 &&
      !(captured_keys.empty() && keys_after_replay.empty())) {
    return;
  }
  replay_events_in_flight = 0;
  MoveKeysAfterReplay();
  if (captured_keys.empty() || capture_active) {
    // A capture switched on meanwhile keeps what it took for its own end.
    StopDrain();
    return;
  }
  FlushCapturedKeys(shift_after_replay ? 1 : 0);
}

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

bool CaptureKey(WPARAM message, const KBDLLHOOKSTRUCT& event, bool replay) {
  const bool holding = held_key_id != 0;
  if (!capture_active && !replay_draining && !holding) {
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
  if (!capture_active) {
    // Behind a held word end the user's keys wait for it, and so do the
    // rest of a replay it came in; another word end passes at once.
    if (replay ? !holding
               : (!replay_draining && (event.vkCode == VK_TAB ||
                                       event.vkCode == VK_RETURN))) {
      return false;
    }
  }
  if (ctrl_down || alt_down || meta_down) {
    return false;
  }
  CapturedKey key = {};
  key.vk = static_cast<uint16_t>(event.vkCode & 0xFFFF);
  key.scan = static_cast<uint16_t>(event.scanCode & 0xFFFF);
  key.extended = (event.flags & LLKHF_EXTENDED) ? 1 : 0;
  key.shift = UserHoldsShift() ? 1 : 0;
  if (replay && !replay_shift_queue.empty()) {
    // Taken again: it keeps the Shift state it was first typed with.
    key.shift = replay_shift_queue.front();
    replay_shift_queue.pop_front();
  }
  TakenKeys(replay).push_back(key);
  captured_key_down[index] = true;
  if (capture_log) {
    WriteTraceLine("capture vk=" + std::to_string(event.vkCode));
  }
  return true;
}

void StartTypingCapture() {
  // Keys already waiting came first.
  MoveKeysAfterReplay();
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
  FlushCapturedKeys(UserHoldsShift() ? 1 : 0);
}

bool TakeModifier(WPARAM message, const KBDLLHOOKSTRUCT& event, bool replay) {
  if (replay || !(capture_active ? IsShiftKey(event.vkCode) : replay_draining)) {
    return false;
  }
  CapturedKey key = {};
  key.vk = static_cast<uint16_t>(event.vkCode & 0xFFFF);
  key.scan = static_cast<uint16_t>(event.scanCode & 0xFFFF);
  key.extended = (event.flags & LLKHF_EXTENDED) ? 1 : 0;
  key.modifier = 1;
  key.up = (message == WM_KEYUP || message == WM_SYSKEYUP) ? 1 : 0;
  TakenKeys(false).push_back(key);
  if (capture_log) {
    WriteTraceLine("capture vk=" + std::to_string(event.vkCode));
  }
  return true;
}

void HoldBackKeysDuringTap() {
  if (!capture_active) {
    StartDrain();
  }
}

void ReleaseKeysHeldBack() {
  if (capture_active) {
    return;
  }
  MoveKeysAfterReplay();
  if (!captured_keys.empty()) {
    FlushCapturedKeys((replay_draining ? shift_after_replay : UserHoldsShift())
                          ? 1
                          : 0);
  }
}

void NoteReplayedEvent() {
  if (replay_events_in_flight > 0) {
    --replay_events_in_flight;
  }
}

void EndReplayDrain() {
  // Keys taken while the last replay went out are replayed as well.
  MoveKeysAfterReplay();
  for (int round = 0; round < 4 && !captured_keys.empty(); ++round) {
    FlushCapturedKeys(shift_after_replay ? 1 : 0);
    MoveKeysAfterReplay();
  }
  StopDrain();
}

std::vector<INPUT> BuildReplayEvents(const std::vector<CapturedKey>& keys,
                                     bool& shift_current) {
  std::vector<INPUT> events;
  events.reserve(keys.size() * 4);
  for (const CapturedKey& key : keys) {
    const DWORD extended = key.extended ? KEYEVENTF_EXTENDEDKEY : 0;
    if (key.modifier) {
      events.push_back(KeyboardInput(
          key.vk, key.scan, extended | (key.up ? KEYEVENTF_KEYUP : 0),
          kReplayMarker));
      if (IsShiftKey(key.vk)) {
        shift_current = !key.up;
      }
      continue;
    }
    const bool shift = key.shift != 0;
    const bool adjust = shift != shift_current;
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
  bool shift_current =
      shift_mode < 0 ? GetAsyncKeyState(VK_SHIFT) < 0 : shift_mode != 0;
  // A Shift taken with the keys never reached the application: taken
  // pressed, it was up there; taken released, it is as the system has it
  // (down, unless an injection let go of it meanwhile). Also when it waits
  // behind a word end: the keys before it must not get it.
  for (const CapturedKey& key : keys) {
    if (key.modifier && IsShiftKey(key.vk)) {
      shift_current = key.up != 0 && GetAsyncKeyState(VK_SHIFT) < 0;
      break;
    }
  }
  // Keys behind a word end that will be held wait for its release unsent:
  // sent on, they would only be taken again, and each held word end in a
  // backlog would send the whole rest once more.
  if (hold_word_end) {
    for (size_t i = 0; i + 1 < keys.size(); ++i) {
      if (!keys[i].modifier && IsWordEndKey(keys[i].vk)) {
        keys_after_replay.insert(keys_after_replay.begin(),
                                 keys.begin() + static_cast<std::ptrdiff_t>(i + 1),
                                 keys.end());
        keys.resize(i + 1);
        break;
      }
    }
  }
  if (capture_log) {
    WriteTraceLine("capture flush n=" + std::to_string(keys.size()));
  }
  std::vector<INPUT> events = BuildReplayEvents(keys, shift_current);
  StartDrain();
  shift_after_replay = shift_current;
  for (const CapturedKey& key : keys) {
    if (!key.modifier) {
      replay_shift_queue.push_back(key.shift);
      replay_events_in_flight += 2;
    } else {
      ++replay_events_in_flight;
    }
  }
  replay_sent_ms = GetTickCount64();
  // One call: nothing the user types can come between the replayed keys,
  // where the system keeps a call's events together.
  SendInput(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
}
