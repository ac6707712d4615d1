#include "keyboard/keyboard_state.h"

#include <algorithm>

#include "injection/input_synthesis.h"

bool physical_key_down[256] = {};
bool tracked_key_down[256] = {};
bool target_key_down[256] = {};
bool ctrl_down = false;
bool shift_down = false;
bool alt_down = false;
bool meta_down = false;
bool caps_lock_on = false;
bool caps_lock_stale = true;
bool keyboard_hook_suspended = false;

namespace {

bool IsGenericModifier(int vk) {
  return vk == VK_SHIFT || vk == VK_CONTROL || vk == VK_MENU;
}

bool SystemSaysDown(int vk) {
  return GetAsyncKeyState(vk) < 0;
}

bool caps_lock_held = false;

}  // namespace

bool IsModifierKey(DWORD vk) {
  for (BYTE code : kModifierKeyCodes) {
    if (vk == code) {
      return true;
    }
  }
  return false;
}

void TrackTargetKey(DWORD vk, bool down) {
  const unsigned index = KeyIndex(vk);
  const unsigned left = index == VK_SHIFT     ? VK_LSHIFT
                        : index == VK_CONTROL ? VK_LCONTROL
                        : index == VK_MENU    ? VK_LMENU
                                              : index;
  target_key_down[left] = down;
}

bool TargetShiftDown() {
  return target_key_down[VK_LSHIFT] || target_key_down[VK_RSHIFT];
}

bool TargetCtrlDown() {
  return target_key_down[VK_LCONTROL] || target_key_down[VK_RCONTROL];
}

void ResyncTargetKeyState() {
  for (int vk = 0; vk < 256; ++vk) {
    target_key_down[vk] = !IsGenericModifier(vk) && SystemSaysDown(vk);
  }
}

void RecomputeModifierFlags() {
  const bool* down = tracked_key_down;
  shift_down = down[VK_LSHIFT] || down[VK_RSHIFT] || down[VK_SHIFT];
  ctrl_down = down[VK_LCONTROL] || down[VK_RCONTROL] || down[VK_CONTROL];
  alt_down = down[VK_LMENU] || down[VK_RMENU] || down[VK_MENU];
  meta_down = down[VK_LWIN] || down[VK_RWIN];
}

void ResyncKeyStateFromSystem() {
  for (int vk = 0; vk < 256; ++vk) {
    tracked_key_down[vk] = !IsGenericModifier(vk) && SystemSaysDown(vk);
  }
  RecomputeModifierFlags();
  caps_lock_stale = true;
}

void ResyncPhysicalKeyState() {
  for (int vk = 0; vk < 256; ++vk) {
    if (IsGenericModifier(vk) ||
        WasReleasedByInjection(static_cast<WORD>(vk))) {
      continue;
    }
    physical_key_down[vk] = SystemSaysDown(vk);
  }
}

void TrackCapsLock(DWORD vk, bool key_down, bool key_up) {
  if (caps_lock_stale) {
    // Inside the hook this thread's state is as it was before the event.
    caps_lock_on = (GetKeyState(VK_CAPITAL) & 1) != 0;
    caps_lock_stale = false;
  }
  if (vk != VK_CAPITAL || !(key_down || key_up)) {
    return;
  }
  if (key_down && !caps_lock_held) {
    caps_lock_on = !caps_lock_on;
  }
  caps_lock_held = key_down;
}

bool CapsLockToggled() {
  return !caps_lock_stale ? caps_lock_on : (GetKeyState(VK_CAPITAL) & 1) != 0;
}

void ClearTrackedKeyState() {
  // No hook follows the toggle from now on.
  caps_lock_stale = true;
  std::fill(std::begin(tracked_key_down), std::end(tracked_key_down), false);
  ctrl_down = shift_down = alt_down = meta_down = false;
}
