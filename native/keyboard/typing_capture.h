#ifndef KORVEX_NATIVE_KEYBOARD_TYPING_CAPTURE_H_
#define KORVEX_NATIVE_KEYBOARD_TYPING_CAPTURE_H_

#include <windows.h>

#include <cstdint>
#include <deque>
#include <vector>

// Typing capture keeps a burst of key strokes from the application while it
// is being changed, and replays them afterwards in order with their Shift
// states.

// Marks the replayed key-downs and key-ups: "KRVR".
constexpr ULONG_PTR kReplayMarker = 0x4B525652;

struct CapturedKey {
  uint16_t vk;
  uint16_t scan;
  uint8_t extended;
  uint8_t shift;     // the user physically held a Shift key
  uint8_t modifier;  // a modifier's press or release, replayed as it came
  uint8_t up;        // for a modifier: its release
};

extern bool capture_active;
extern UINT_PTR capture_timer;
extern std::vector<CapturedKey> captured_keys;
extern bool captured_key_down[256];
// One Shift state per replayed key-down, taken by the key path.
extern std::deque<uint8_t> replay_shift_queue;

constexpr UINT kCaptureTimeoutMs = 2000;
constexpr UINT kCaptureRetryMs = 100;

// While a replay is on its way, the user's keys are still taken and follow
// it in a replay of their own: where the system lets other input in between
// the events of one SendInput call (as Wine does), they would otherwise land
// in the middle of the replayed keys.
extern bool replay_draining;
extern int replay_events_in_flight;  // replayed events the hook has yet to see
constexpr UINT kReplayDrainPollMs = 10;
constexpr ULONGLONG kReplayDrainLimitMs = 500;

// For a non-modifier key event: true when capture takes (swallows) it:
// while capture is on, while a replay is on its way, and while a word end
// is held (the keys after it wait for it).
bool CaptureKey(WPARAM message, const KBDLLHOOKSTRUCT& event, bool replay);

// For a modifier key event: true when it is taken to be replayed in order
// with the keys around it. A replay on its way takes every modifier, so
// that none lands among the replayed keys; typing capture takes Shift only,
// so that it cannot change the case of the text being typed meanwhile
// (Ctrl and the others pass, and with them chords such as Ctrl+V).
bool TakeModifier(WPARAM message, const KBDLLHOOKSTRUCT& event, bool replay);

// Around the tap of a held key: the keys that come while it goes out, and
// those that waited behind it, follow it.
void HoldBackKeysDuringTap();
void ReleaseKeysHeldBack();

// The hook saw one replayed event.
void NoteReplayedEvent();

// Ends the replay wait at the listener's cancel, replaying what it took.
void EndReplayDrain();

void StartTypingCapture();
void StopTypingCapture();

// Ends capture and replays what it holds; |shift_mode| negative reads the
// Shift state from the system, 0 means up, positive means down.
void FlushCapturedKeys(int shift_mode);

// The replay's events for |keys|, Shift being |shift_current| before them
// (and after them on return): a key typed in the other Shift state gets its
// own Shift events around it.
std::vector<INPUT> BuildReplayEvents(const std::vector<CapturedKey>& keys,
                                     bool& shift_current);

#endif  // KORVEX_NATIVE_KEYBOARD_TYPING_CAPTURE_H_
