#include "keyboard/modifier_tracking.h"

#include "common/capture_log.h"
#include "injection/input_synthesis.h"
#include "keyboard/key_records.h"
#include "keyboard/keyboard_state.h"

uint32_t last_modifier_release_ms[256] = {};

void TrackModifierEvent(bool is_down, const KBDLLHOOKSTRUCT& event,
                        bool previously_down, bool physical,
                        bool was_physically_down) {
  const DWORD vk = event.vkCode;
  const unsigned index = KeyIndex(vk);
  if (!physical) {
    if (!is_down) {
      EmitModifierEvent(vk, false);
    } else if (!previously_down) {
      EmitModifierEvent(vk, true);
    }
    return;
  }
  if (!is_down) {
    last_modifier_release_ms[index] = event.time;
    EmitModifierEvent(vk, false);
    return;
  }
  if (was_physically_down &&
      (previously_down ||
       WasReleasedByInjection(static_cast<WORD>(vk)))) {
    // The system's auto-repeat of a key the user holds.
    return;
  }
  const uint32_t released_at = last_modifier_release_ms[index];
  // Unsigned: the tick count may have wrapped between release and press.
  if (released_at != 0 && event.time - released_at < kModifierBounceMs) {
    if (capture_log) {
      WriteTraceLine("modifier bounce vk=" + std::to_string(vk));
    }
    return;
  }
  EmitModifierEvent(vk, true);
}

bool CheckStuckModifiers(const std::string& reason) {
  std::string list;
  for (BYTE vk : kStuckCheckKeys) {
    if (!tracked_key_down[vk] || GetAsyncKeyState(vk) < 0) {
      continue;
    }
    tracked_key_down[vk] = false;
    RecomputeModifierFlags();
    EmitModifierEvent(vk, false);
    if (!list.empty()) {
      list += ',';
    }
    list += std::to_string(vk);
  }
  if (list.empty()) {
    return false;
  }
  EmitDiag("stuck modifier vk=" + list + " released (" + reason + ")");
  return true;
}
