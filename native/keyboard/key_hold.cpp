#include "keyboard/key_hold.h"

#include <string>

#include "diagnostics/capture_log.h"
#include "injection/injection_queue.h"
#include "injection/input_synthesis.h"
#include "keyboard/keyboard_state.h"
#include "keyboard/typing_capture.h"

bool hold_word_end = false;
int32_t held_key_id = 0;
DWORD held_key_vk = 0;
int32_t hold_counter = 0;
UINT_PTR hold_timer = 0;
bool swallow_held_key_up = false;

namespace {

void CALLBACK HoldTimeoutProc(HWND, UINT, UINT_PTR timer_id, DWORD) {
  if (timer_id != hold_timer || hold_timer == 0) {
    return;
  }
  if (InjectionRunning()) {
    // Tapped now, it would land inside the text being typed: its time is
    // up once the text is through.
    KillTimer(nullptr, hold_timer);
    hold_timer = SetTimer(nullptr, 0, kCaptureRetryMs, HoldTimeoutProc);
    return;
  }
  if (capture_log) {
    WriteTraceLine("hold timeout id=" + std::to_string(held_key_id));
  }
  ReleaseHeldKey(held_key_id);
}

void StartHoldTimer(UINT period_ms) {
  if (hold_timer) {
    KillTimer(nullptr, hold_timer);
  }
  hold_timer = SetTimer(nullptr, 0, period_ms, HoldTimeoutProc);
}

}  // namespace

int32_t DecideHold(DWORD vk, bool repeat) {
  if (repeat || !hold_word_end || held_key_id != 0 ||
      (vk != VK_TAB && vk != VK_RETURN) || ctrl_down || alt_down ||
      meta_down) {
    return 0;
  }
  held_key_id = ++hold_counter;
  held_key_vk = vk;
  swallow_held_key_up = true;
  StartHoldTimer(kHoldFirstMs);
  return held_key_id;
}

void ForgetHeldKeyUpOnFreshPress(DWORD vk) {
  if (vk == held_key_vk) {
    swallow_held_key_up = false;
  }
}

bool SwallowHeldKeyUp(DWORD vk) {
  if (swallow_held_key_up && vk == held_key_vk) {
    swallow_held_key_up = false;
    return true;
  }
  return false;
}

void SetHoldWordEnd(bool enabled) {
  hold_word_end = enabled;
}

void ExtendHold(int32_t id) {
  if (id != 0 && id == held_key_id) {
    StartHoldTimer(kHoldExtendedMs);
  }
}

void ReleaseHeldKey(int32_t id) {
  if (id == 0 || id != held_key_id) {
    return;
  }
  if (hold_timer) {
    KillTimer(nullptr, hold_timer);
    hold_timer = 0;
  }
  const WORD vk = static_cast<WORD>(held_key_vk);
  held_key_id = 0;
  if (capture_log) {
    WriteTraceLine("hold release id=" + std::to_string(id));
  }
  // The hook stays in: the tap carries the service's marker and passes it
  // untouched. Taking the hook out would let the keys whose hook calls are
  // already waiting for this thread pass unseen, past typing capture.
  HoldBackKeysDuringTap();
  TapKey(vk);
  ReleaseKeysHeldBack();
}
