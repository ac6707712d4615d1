#ifndef KORVEX_NATIVE_KEYBOARD_KEY_HOLD_H_
#define KORVEX_NATIVE_KEYBOARD_KEY_HOLD_H_

#include <windows.h>

#include <cstdint>

// Holding back a word-ending Tab or Enter while the application decides.
// A held key is never dropped: it is tapped again by the application's
// release or by its timer.
extern bool hold_word_end;
extern int32_t held_key_id;       // 0: nothing held
extern DWORD held_key_vk;         // the key of the last hold
extern int32_t hold_counter;      // ids 1, 2, 3, ... for the process
extern UINT_PTR hold_timer;
extern bool swallow_held_key_up;  // the held press's key-up is still due

constexpr UINT kHoldFirstMs = 150;
constexpr UINT kHoldExtendedMs = 1500;

// For a key-down after its characters were worked out: a new hold id when
// the key is held back, else 0.
int32_t DecideHold(DWORD vk, bool repeat);

// A fresh press of the held key cancels the swallow of its pending key-up.
void ForgetHeldKeyUpOnFreshPress(DWORD vk);

// For a key-up nothing else claimed: true when it is the held press's.
bool SwallowHeldKeyUp(DWORD vk);

void SetHoldWordEnd(bool enabled);
void ExtendHold(int32_t id);
void ReleaseHeldKey(int32_t id);

#endif  // KORVEX_NATIVE_KEYBOARD_KEY_HOLD_H_
