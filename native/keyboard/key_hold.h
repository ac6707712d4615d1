#ifndef KORVEX_NATIVE_KEYBOARD_KEY_HOLD_H_
#define KORVEX_NATIVE_KEYBOARD_KEY_HOLD_H_

#include <windows.h>

#include <cstdint>

// Holding back a word-ending Tab or Enter while the application decides.
// A held key is never dropped: it waits at the front of the user's keys
// (key_queue.h) and goes out with them once the application lets it go, or
// its timer does, and nothing else keeps them back.
extern bool hold_word_end;
extern int32_t held_key_id;  // 0: nothing held
extern int32_t hold_counter;  // ids 1, 2, 3, ... for the process
extern UINT_PTR hold_timer;

constexpr UINT kHoldFirstMs = 150;
constexpr UINT kHoldExtendedMs = 1500;

// For a key-down going out, after its characters were worked out: a new
// hold id when it is held back, else 0. |shift| is the Shift it was typed
// with, which its tap gets again.
int32_t DecideHold(const KBDLLHOOKSTRUCT& event, bool repeat, bool replay,
                   bool shift);

void SetHoldWordEnd(bool enabled);
// Both true when |id| was still held (not let go of by its timer).
bool ExtendHold(int32_t id);
bool ReleaseHeldKey(int32_t id);

#endif  // KORVEX_NATIVE_KEYBOARD_KEY_HOLD_H_
