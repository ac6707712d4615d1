#include "keyboard/key_hold.h"

#include <string>

#include "common/capture_log.h"
#include "keyboard/key_queue.h"
#include "keyboard/keyboard_state.h"

bool hold_word_end = false;
int32_t held_key_id = 0;
int32_t hold_counter = 0;
UINT_PTR hold_timer = 0;

namespace {

void KillHoldTimer() {
  if (hold_timer) {
    KillTimer(nullptr, hold_timer);
    hold_timer = 0;
  }
}

// The key goes out with the keys behind it once nothing else keeps them.
void EndHold(const char* why) {
  const int32_t id = held_key_id;
  if (id == 0) {
    return;
  }
  KillHoldTimer();
  held_key_id = 0;
  if (capture_log) {
    WriteTraceLine(std::string("hold ") + why + " id=" + std::to_string(id));
  }
  StopKeepingKeysBack(kHeldWordEnd);
}

void CALLBACK HoldTimeoutProc(HWND, UINT, UINT_PTR timer_id, DWORD) {
  if (timer_id == hold_timer && hold_timer != 0) {
    EndHold("timeout");
  }
}

void GiveUpHold() {
  EndHold("given up");
}

void StartHoldTimer(UINT period_ms) {
  KillHoldTimer();
  hold_timer = SetTimer(nullptr, 0, period_ms, HoldTimeoutProc);
}

}  // namespace

int32_t DecideHold(const KBDLLHOOKSTRUCT& event, bool repeat, bool replay,
                   bool shift) {
  const DWORD vk = event.vkCode;
  if (repeat || !hold_word_end || held_key_id != 0 ||
      (vk != VK_TAB && vk != VK_RETURN) || ctrl_down || alt_down ||
      meta_down) {
    return 0;
  }
  held_key_id = ++hold_counter;
  QueueHeldKey(event, replay, shift, held_key_id);
  KeepKeysBack(kHeldWordEnd, GiveUpHold);
  StartHoldTimer(kHoldFirstMs);
  return held_key_id;
}

void SetHoldWordEnd(bool enabled) {
  hold_word_end = enabled;
  ReplayUpToWordEnds(enabled);
}

bool ExtendHold(int32_t id) {
  if (id == 0 || id != held_key_id) {
    return false;
  }
  StartHoldTimer(kHoldExtendedMs);
  return true;
}

bool ReleaseHeldKey(int32_t id) {
  if (id == 0 || id != held_key_id) {
    return false;
  }
  EndHold("release");
  return true;
}
