#ifndef KORVEX_NATIVE_KEYBOARD_MODIFIER_TRACKING_H_
#define KORVEX_NATIVE_KEYBOARD_MODIFIER_TRACKING_H_

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>

// Which modifier presses and releases become "modifier" records: no
// auto-repeats, no bounces, no auto-repeat of a Shift that injection let go
// of; and the repair of modifiers the system no longer holds.

// Hook time of each key's last physical release; 0 = never released.
extern uint32_t last_modifier_release_ms[256];

constexpr uint32_t kModifierBounceMs = 40;

constexpr std::array<BYTE, 11> kStuckCheckKeys = {
    VK_LSHIFT, VK_RSHIFT, VK_SHIFT, VK_LCONTROL, VK_RCONTROL, VK_CONTROL,
    VK_LMENU,  VK_RMENU,  VK_MENU,  VK_LWIN,     VK_RWIN};

// The modifier branch of the key path. The tracked state and flags already
// hold the event; |previously_down| is the tracked state before it.
void TrackModifierEvent(bool is_down,
                        const KBDLLHOOKSTRUCT& event,
                        bool previously_down,
                        bool physical,
                        bool was_physically_down);

// Releases every modifier tracked as down that the system reports up, with
// its record and one diag message; true when something was released.
bool CheckStuckModifiers(const std::string& reason);

#endif  // KORVEX_NATIVE_KEYBOARD_MODIFIER_TRACKING_H_
