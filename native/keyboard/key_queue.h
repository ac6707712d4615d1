#ifndef KORVEX_NATIVE_KEYBOARD_KEY_QUEUE_H_
#define KORVEX_NATIVE_KEYBOARD_KEY_QUEUE_H_

#include <windows.h>

#include <cstdint>
#include <string>

// The user's keys while something is pending. A held word end, typing
// capture, an injection task (queued or running) and a replay on its way
// are each a reason to keep the user's keys back. From the first reason on,
// every key the user presses, modifiers, word ends and chords included,
// goes to the back of one queue with the Shift and Ctrl it was pressed
// with; when the last reason ends, the queue goes out in the order it was
// typed. A held word end is the queue's first entry. Nothing else decides
// the order of the user's keys.

enum KeepBackReason : unsigned {
  kHeldWordEnd = 1,
  kTypingCapture = 2,
  kInjectionTask = 4,
  kReplayOnItsWay = 8,
};

// Marks the replayed keys: "KRVR".
constexpr ULONG_PTR kReplayMarker = 0x4B525652;

// No key waits longer: past it every reason is given up (the application
// hears of it through its replies) and the keys go out.
constexpr ULONGLONG kKeepBackLimitMs = 5000;
// A replay the hook has not seen whole by then was dropped on the way (by
// another hook); a busy machine can take a good part of it.
constexpr ULONGLONG kReplayLimitMs = 3000;
constexpr UINT kKeyQueuePollMs = 10;

// While word ends are held, a replay goes up to the first word end it
// holds: the keys behind one would only be taken again.
void ReplayUpToWordEnds(bool split);

// |give_up| ends the reason early when a key has waited kKeepBackLimitMs;
// it must lead to StopKeepingKeysBack(reason), at once or soon.
void KeepKeysBack(unsigned reason, void (*give_up)() = nullptr);
void StopKeepingKeysBack(unsigned reason);
bool KeepingKeysBack(unsigned reason);

// For a key event the key path handles, before anything else looks at it:
// true when the queue takes it (it is swallowed). For a replayed key-down
// going out, |replay_shift| receives the Shift state it was typed with.
bool TakeKeyEvent(WPARAM message, const KBDLLHOOKSTRUCT& event, bool replay,
                  bool* replay_shift);

// The last event of a replay went by (posted from the hook): the keys kept
// behind it may go.
void EndReplayIfSeen();

// The service's own key event |vk| went by: a held key's tap is awaited.
void NoteOwnKeyEvent(WPARAM message, DWORD vk);

// The word end just reported as held goes to the front of the queue, to be
// tapped as the service's own input in the Shift state it was pressed in.
void QueueHeldKey(const KBDLLHOOKSTRUCT& event, bool replay, bool shift,
                  int32_t hold_id);

// The listener goes: every reason is given up and everything kept goes
// out in order.
void ReleaseAllKeptKeys();

// A seam: no program under Wine refuses injected input, and when the system
// runs the hook for the user's next key inside a send cannot be chosen, so
// tests send the replay's events through a sender of their own.
using SendInputFunction = UINT(WINAPI*)(UINT count, LPINPUT inputs, int size);
extern SendInputFunction send_replay;

#endif  // KORVEX_NATIVE_KEYBOARD_KEY_QUEUE_H_
