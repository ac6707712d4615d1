#ifndef KORVEX_NATIVE_KEYBOARD_KEYBOARD_STATE_H_
#define KORVEX_NATIVE_KEYBOARD_KEYBOARD_STATE_H_

#include <windows.h>

#include <array>

// The keyboard engine's shared state. All of it belongs to the main thread,
// which installed the hooks and so runs them: no lock is needed.

// Keys the user physically holds; written only from events that were not
// injected, and by the resyncs.
extern bool physical_key_down[256];
// Keys down as the key path has seen them (physical, replayed and accepted
// injected events).
extern bool tracked_key_down[256];
// Keys down as the program in front sees them: every event the hook let
// through, in the order it saw them, whoever sent it. The generic Shift,
// Ctrl and Alt codes count as the left keys, as the system takes them.
extern bool target_key_down[256];
extern bool ctrl_down;
extern bool shift_down;
extern bool alt_down;
extern bool meta_down;
// The Caps Lock toggle, followed from the hook's events: asking the system
// on every key costs a round trip. This thread's key state is current only
// once the hook has seen input, so the toggle is read again at the next
// event when it is marked stale (when listening starts, at each resync).
extern bool caps_lock_on;
extern bool caps_lock_stale;

// The keyboard hook was taken out for a while and is to be put back.
extern bool keyboard_hook_suspended;

void TrackTargetKey(DWORD vk, bool down);
bool TargetShiftDown();
bool TargetCtrlDown();

// The modifier flags from tracked_key_down, either side or the generic code.
void RecomputeModifierFlags();

// Takes the whole tracked state (and the Caps Lock toggle) from the system;
// the generic Shift, Ctrl and Alt codes are tracked only when an event names
// them.
void ResyncKeyStateFromSystem();

// Takes target_key_down from the system.
void ResyncTargetKeyState();

// Refreshes physical_key_down from the system, except the generic codes and a
// Shift that an injection let go of while the user still holds it.
void ResyncPhysicalKeyState();

// Forgets what the key path tracked (the listener went away).
void ClearTrackedKeyState();

// The Caps Lock toggle now: while the hook runs it follows the toggle; this
// thread's own state is as of the last event it saw.
bool CapsLockToggled();

// For every event the hook sees, of whatever origin, before it is acted on:
// reads a stale toggle, and a fresh press of Caps Lock toggles it.
void TrackCapsLock(DWORD vk, bool key_down, bool key_up);

// The keys that take the modifier branch; Caps Lock and the other lock keys
// are ordinary keys.
constexpr std::array<BYTE, 11> kModifierKeyCodes = {
    VK_SHIFT,  VK_CONTROL, VK_MENU,     VK_LWIN,     VK_RWIN, VK_LSHIFT,
    VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU};

bool IsModifierKey(DWORD vk);

// The virtual key of an event: tables use its low 8 bits.
inline unsigned KeyIndex(DWORD vk) { return vk & 0xFF; }

#endif  // KORVEX_NATIVE_KEYBOARD_KEYBOARD_STATE_H_
