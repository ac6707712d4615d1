#include "keyboard/key_queue.h"

#include <algorithm>
#include <deque>
#include <vector>

#include "common/capture_log.h"
#include "keyboard/keyboard_state.h"
// The replay lets go of what injection pressed for the user, and shares
// its events' shape and marker.
#include "injection/input_synthesis.h"

SendInputFunction send_replay = SendInput;

namespace {

struct QueuedKey {
  uint16_t vk = 0;
  uint16_t scan = 0;
  bool extended = false;
  bool modifier = false;  // a modifier's press or release, replayed as it came
  bool up = false;        // for a modifier: its release
  bool shift = false;     // as the user held them at the press
  bool ctrl = false;
  bool retaken = false;   // on its way, then taken again: its key-up is too
  int32_t held_id = 0;    // the held word end, reported already
  uint8_t own_after = 0;  // the service's own Shift and Ctrl events after it
  ULONGLONG taken_ms = 0;
};

constexpr int kReasonCount = 4;

unsigned reasons = 0;
bool split_at_word_ends = false;
void (*give_up[kReasonCount])() = {};
bool gave_up = false;
std::deque<QueuedKey> queue;
// The replayed entries the hook has yet to see, in the order sent.
std::deque<QueuedKey> on_its_way;
// The own Shift and Ctrl events after the replay's last entry, yet to be
// seen: the next replay starts from the state they leave.
int own_to_see = 0;
// Entries taken again off a replay stand at the queue's front, in order.
size_t retaken_count = 0;
// Once an entry of the replay on its way was taken again, so is the rest
// of it, also when the reason ended meanwhile: a later key passing would
// overtake it, or meet a Shift it was not typed with.
bool retaking = false;
// Key-downs taken: their key-ups belong to them.
bool taken_down[256] = {};
ULONGLONG replay_sent_ms = 0;
UINT_PTR poll_timer = 0;

int ReasonIndex(unsigned reason) {
  for (int i = 0; i < kReasonCount; ++i) {
    if (reason == 1u << i) return i;
  }
  return 0;
}

bool IsShiftKey(DWORD vk) {
  return vk == VK_SHIFT || vk == VK_LSHIFT || vk == VK_RSHIFT;
}

bool IsCtrlKey(DWORD vk) {
  return vk == VK_CONTROL || vk == VK_LCONTROL || vk == VK_RCONTROL;
}

bool IsWordEndKey(DWORD vk) {
  return vk == VK_TAB || vk == VK_RETURN;
}

QueuedKey EntryFor(const KBDLLHOOKSTRUCT& event, bool up) {
  QueuedKey key;
  key.vk = static_cast<uint16_t>(event.vkCode & 0xFFFF);
  key.scan = static_cast<uint16_t>(event.scanCode & 0xFFFF);
  key.extended = (event.flags & LLKHF_EXTENDED) != 0;
  key.modifier = IsModifierKey(event.vkCode);
  key.up = up;
  key.shift = physical_key_down[VK_LSHIFT] || physical_key_down[VK_RSHIFT];
  key.ctrl = physical_key_down[VK_LCONTROL] || physical_key_down[VK_RCONTROL];
  key.taken_ms = GetTickCount64();
  return key;
}

void SendKeptKeys();
void CALLBACK PollTimerProc(HWND, UINT, UINT_PTR, DWORD);

void StartPolling() {
  if (!poll_timer) {
    poll_timer = SetTimer(nullptr, 0, kKeyQueuePollMs, PollTimerProc);
  }
}

void StopPolling() {
  if (poll_timer) {
    KillTimer(nullptr, poll_timer);
    poll_timer = 0;
  }
}

void GiveUpEveryReason() {
  gave_up = true;
  for (int i = 0; i < kReasonCount; ++i) {
    const unsigned reason = 1u << i;
    if ((reasons & reason) && reason != kReplayOnItsWay) {
      if (give_up[i]) {
        give_up[i]();
      } else {
        StopKeepingKeysBack(reason);
      }
    }
  }
}

void CALLBACK PollTimerProc(HWND, UINT, UINT_PTR timer_id, DWORD) {
  if (timer_id != poll_timer || poll_timer == 0) {
    return;
  }
  const ULONGLONG now = GetTickCount64();
  EndReplayIfSeen();
  if ((reasons & kReplayOnItsWay) && now - replay_sent_ms >= kReplayLimitMs) {
    // What the hook never saw went nowhere it could follow.
    for (const QueuedKey& key : on_its_way) {
      if (key.modifier && !key.up) taken_down[key.vk & 0xFF] = false;
    }
    on_its_way.clear();
    own_to_see = 0;
    StopKeepingKeysBack(kReplayOnItsWay);
  }
  ULONGLONG oldest = now;
  for (const QueuedKey& key : queue) oldest = std::min(oldest, key.taken_ms);
  if (!gave_up && !queue.empty() && now - oldest >= kKeepBackLimitMs) {
    EmitDiag("keys kept back for " + std::to_string(kKeepBackLimitMs) +
             " ms: sent on");
    GiveUpEveryReason();
  }
  if (!reasons && !queue.empty()) {
    SendKeptKeys();
  } else if (!reasons) {
    StopPolling();
  }
}

INPUT OwnEvent(WORD vk, bool up) {
  return KeyboardInput(vk, 0, up ? KEYEVENTF_KEYUP : 0, kInjectionMarker);
}

// The events of |keys|, Shift and Ctrl in the target being |shift| and
// |ctrl| before them and, on return, after them; |ends| receives each
// entry's end in the list.
std::vector<INPUT> ReplayEvents(std::vector<QueuedKey>& keys, bool& shift,
                                bool& ctrl, std::vector<size_t>& ends) {
  std::vector<INPUT> events;
  events.reserve(keys.size() * 6);
  for (QueuedKey& key : keys) {
    const DWORD extended = key.extended ? KEYEVENTF_EXTENDEDKEY : 0;
    if (key.modifier) {
      events.push_back(KeyboardInput(
          key.vk, key.scan, extended | (key.up ? KEYEVENTF_KEYUP : 0),
          kReplayMarker));
      if (IsShiftKey(key.vk)) shift = !key.up;
      if (IsCtrlKey(key.vk)) ctrl = !key.up;
      ends.push_back(events.size());
      continue;
    }
    const bool adjust_ctrl = key.ctrl != ctrl;
    const bool adjust_shift = key.shift != shift;
    if (adjust_ctrl) events.push_back(OwnEvent(VK_CONTROL, !key.ctrl));
    if (adjust_shift) events.push_back(OwnEvent(VK_SHIFT, !key.shift));
    if (key.held_id > 0) {
      // Reported when it was held: it goes out as the service's own tap.
      events.push_back(KeyboardInput(key.vk, 0, 0, kInjectionMarker));
      events.push_back(
          KeyboardInput(key.vk, 0, KEYEVENTF_KEYUP, kInjectionMarker));
    } else {
      events.push_back(KeyboardInput(key.vk, key.scan, extended, kReplayMarker));
      events.push_back(KeyboardInput(key.vk, key.scan,
                                     extended | KEYEVENTF_KEYUP, kReplayMarker));
    }
    if (adjust_shift) events.push_back(OwnEvent(VK_SHIFT, key.shift));
    if (adjust_ctrl) events.push_back(OwnEvent(VK_CONTROL, key.ctrl));
    key.own_after = static_cast<uint8_t>(adjust_shift + adjust_ctrl);
    ends.push_back(events.size());
  }
  return events;
}

// Sends the queue's front, up to a word end that will be held again (the
// keys behind it would only be taken again). Shift and Ctrl in the target
// are |shift| and |ctrl| before it.
void SendBatch(bool shift, bool ctrl) {
  size_t count = queue.size();
  if (split_at_word_ends) {
    for (size_t i = 0; i + 1 < queue.size(); ++i) {
      if (!queue[i].modifier && queue[i].held_id == 0 &&
          IsWordEndKey(queue[i].vk)) {
        count = i + 1;
        break;
      }
    }
  }
  std::vector<QueuedKey> batch(queue.begin(), queue.begin() + count);
  queue.erase(queue.begin(), queue.begin() + count);
  retaken_count = 0;
  retaking = false;
  std::vector<size_t> ends;
  std::vector<INPUT> events = ReplayEvents(batch, shift, ctrl, ends);
  // On its way before it is sent: the system may run the hook for the
  // events before the call returns (Wine does).
  // The held key too: the user's next key must not pass it on the way.
  on_its_way.insert(on_its_way.end(), batch.begin(), batch.end());
  if (!batch.empty()) {
    KeepKeysBack(kReplayOnItsWay);
    replay_sent_ms = GetTickCount64();
  }
  const UINT sent =
      send_replay(static_cast<UINT>(events.size()), events.data(), sizeof(INPUT));
  if (capture_log) {
    WriteTraceLine("replay n=" + std::to_string(batch.size()) + " events=" +
                   std::to_string(events.size()) + " sent=" +
                   std::to_string(sent));
  }
  size_t whole = 0;
  while (whole < batch.size() && ends[whole] <= sent) ++whole;
  if (whole == batch.size()) {
    return;
  }
  // Refused in part: what went stays, the rest is lost, and no more of it
  // is waited for. A Shift or Ctrl of the service's own left pressed or
  // let go of is put back.
  for (size_t i = whole; i < batch.size() && !on_its_way.empty(); ++i) {
    on_its_way.pop_back();
  }
  int own_shift = 0, own_ctrl = 0;
  for (size_t i = 0; i < sent; ++i) {
    const KEYBDINPUT& k = events[i].ki;
    const int step = (k.dwFlags & KEYEVENTF_KEYUP) ? -1 : 1;
    if (k.dwExtraInfo == kInjectionMarker) {
      own_shift += IsShiftKey(k.wVk) ? step : 0;
      own_ctrl += IsCtrlKey(k.wVk) ? step : 0;
    }
  }
  std::vector<INPUT> mend;
  if (own_shift != 0) mend.push_back(OwnEvent(VK_SHIFT, own_shift > 0));
  if (own_ctrl != 0) mend.push_back(OwnEvent(VK_CONTROL, own_ctrl > 0));
  if (!mend.empty()) {
    send_replay(static_cast<UINT>(mend.size()), mend.data(), sizeof(INPUT));
  }
  EmitDiag("replay refused: " + std::to_string(batch.size() - whole) +
           " keys lost");
  if (on_its_way.empty()) {
    StopKeepingKeysBack(kReplayOnItsWay);
  }
}

// A Shift or Ctrl that an injection let go of while the user held it is
// pressed again, and tracked: the hook passes the service's own input by.
// |shift| and |ctrl| are as the program in front will have them, that
// press included: the system's own state may lag behind the hook's view.
void RestoreUsersModifiers(bool& shift, bool& ctrl) {
  const unsigned restored =
      RestoreReleasedModifiers(physical_key_down, send_replay);
  const BYTE keys[] = {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL};
  for (int bit = 0; bit < 4; ++bit) {
    if (restored & (1u << bit)) tracked_key_down[keys[bit]] = true;
  }
  RecomputeModifierFlags();
  shift = TargetShiftDown() || (restored & 3) != 0;
  ctrl = TargetCtrlDown() || (restored & 12) != 0;
}

void SendKeptKeys() {
  bool shift = false, ctrl = false;
  while (!reasons && !queue.empty()) {
    // The keys were typed with the modifiers the user held.
    RestoreUsersModifiers(shift, ctrl);
    SendBatch(shift, ctrl);
  }
  if (!reasons && queue.empty()) {
    gave_up = false;
    RestoreUsersModifiers(shift, ctrl);
  }
}

// The entry of the replay a replayed event belongs to; entries before it
// that the hook never saw are dropped. Null when it is none of them.
QueuedKey* OnItsWayFor(DWORD vk) {
  while (!on_its_way.empty() && on_its_way.front().vk != (vk & 0xFFFF)) {
    on_its_way.pop_front();
  }
  return on_its_way.empty() ? nullptr : &on_its_way.front();
}

constexpr UINT kReplaySeenMessage = WM_APP + 33;

LRESULT CALLBACK QueueWindowProc(HWND window, UINT message, WPARAM wparam,
                                 LPARAM lparam) {
  if (message == kReplaySeenMessage) {
    EndReplayIfSeen();
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// A message-only window of the main thread's: created on first use, null
// when it cannot be (the poll timer then ends the replay).
HWND QueueWindow() {
  static HWND window = [] {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = QueueWindowProc;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.lpszClassName = L"KorvexKeyQueueWindow";
    RegisterClassW(&window_class);
    return CreateWindowExW(0, window_class.lpszClassName, L"", 0, 0, 0, 0, 0,
                           HWND_MESSAGE, nullptr, window_class.hInstance,
                           nullptr);
  }();
  return window;
}

// The replay is through once the hook has let its last event go: the keys
// after it are sent from the message loop, not from inside the hook, where
// the system would put them ahead of that last event (Wine does).
// The Shift and Ctrl put back after the last key count: the next replay's
// own adjustments start from what they leave in the target.
void Seen() {
  own_to_see = on_its_way.front().own_after;
  on_its_way.pop_front();
  if (!on_its_way.empty()) {
    own_to_see = 0;
  } else if (own_to_see == 0) {
    PostMessageW(QueueWindow(), kReplaySeenMessage, 0, 0);
  }
}

bool TakeReplayed(bool down, const KBDLLHOOKSTRUCT& event, bool* shift) {
  // A held key's tap ahead of it was seen, or went nowhere.
  while (!on_its_way.empty() && on_its_way.front().held_id != 0) {
    on_its_way.pop_front();
  }
  QueuedKey* key = OnItsWayFor(event.vkCode);
  if (!key) {
    return false;
  }
  // Taken again when another reason came up while it was on its way.
  const bool retake =
      (retaking || (reasons & ~kReplayOnItsWay) != 0) && !key->retaken;
  retaking = retaking || retake;
  if (key->modifier || down) {
    if (retake) {
      QueuedKey again = *key;
      again.retaken = false;
      queue.insert(queue.begin() + static_cast<std::ptrdiff_t>(retaken_count++),
                   again);
      key->retaken = true;
    }
    if (key->modifier) {
      // A press gone through: its key-up is the user's to send from now,
      // unless more of that key still waits.
      const uint16_t vk = key->vk;
      auto same = [vk](const QueuedKey& k) { return k.vk == vk; };
      if (!retake && !key->up &&
          std::none_of(on_its_way.begin() + 1, on_its_way.end(), same) &&
          std::none_of(queue.begin(), queue.end(), same)) {
        taken_down[vk & 0xFF] = false;
      }
      Seen();
      return retake;
    }
    if (shift) *shift = key->shift;
    return key->retaken;
  }
  const bool taken = key->retaken;
  Seen();
  return taken;
}

}  // namespace

void ReplayUpToWordEnds(bool split) {
  split_at_word_ends = split;
}

void KeepKeysBack(unsigned reason, void (*give_up_reason)()) {
  reasons |= reason;
  if (give_up_reason) {
    give_up[ReasonIndex(reason)] = give_up_reason;
  }
  StartPolling();
}

void StopKeepingKeysBack(unsigned reason) {
  if (!(reasons & reason)) {
    return;
  }
  reasons &= ~reason;
  if (!reasons) {
    SendKeptKeys();
  }
}

bool KeepingKeysBack(unsigned reason) {
  return (reasons & reason) != 0;
}

bool TakeKeyEvent(WPARAM message, const KBDLLHOOKSTRUCT& event, bool replay,
                  bool* replay_shift) {
  const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
  const unsigned index = KeyIndex(event.vkCode);
  if (replay) {
    return TakeReplayed(down, event, replay_shift);
  }
  // Also while the kept keys are being sent: the system runs the hook for
  // the user's next key inside the calls that send them (Wine does), and
  // that key must not pass ahead of them.
  const bool keeping = reasons != 0 || !queue.empty();
  if (!down) {
    const bool modifier = IsModifierKey(event.vkCode);
    // A modifier's release is taken whenever anything is kept, also when its
    // press went through before: the keys kept were typed with it down.
    if (!taken_down[index] && !(modifier && keeping)) {
      return false;
    }
    taken_down[index] = false;
    if (!modifier) {
      return true;  // its press goes, or went, as a whole tap
    }
    // Nothing kept means its press went out already: the release follows.
    if (!keeping) {
      return false;
    }
    queue.push_back(EntryFor(event, true));
    return true;
  }
  if (!keeping) {
    return false;
  }
  queue.push_back(EntryFor(event, false));
  taken_down[index] = true;
  if (capture_log) {
    WriteTraceLine("take vk=" + std::to_string(event.vkCode));
  }
  return true;
}

void QueueHeldKey(const KBDLLHOOKSTRUCT& event, bool replay, bool shift,
                  int32_t hold_id) {
  QueuedKey key = EntryFor(event, false);
  key.shift = shift;
  key.ctrl = false;
  key.held_id = hold_id;
  if (!replay) {
    taken_down[KeyIndex(event.vkCode)] = true;
    queue.push_front(key);
    return;
  }
  if (!on_its_way.empty()) {
    // Its replayed key-up is the held key's.
    on_its_way.front().retaken = true;
  }
  // Behind what was taken again of the same replay: typed before it.
  queue.insert(queue.begin() + static_cast<std::ptrdiff_t>(retaken_count++), key);
}

void EndReplayIfSeen() {
  if ((reasons & kReplayOnItsWay) && on_its_way.empty() && own_to_see == 0) {
    StopKeepingKeysBack(kReplayOnItsWay);
  }
}

void NoteOwnKeyEvent(WPARAM message, DWORD vk) {
  if (own_to_see > 0 && on_its_way.empty() &&
      (IsShiftKey(vk) || IsCtrlKey(vk))) {
    if (--own_to_see == 0) {
      PostMessageW(QueueWindow(), kReplaySeenMessage, 0, 0);
    }
    return;
  }
  // Only a held key's tap is waited for among the service's own events.
  if (on_its_way.empty() || on_its_way.front().held_id == 0 ||
      on_its_way.front().vk != (vk & 0xFFFF) ||
      (message != WM_KEYUP && message != WM_SYSKEYUP)) {
    return;
  }
  Seen();
}

void ReleaseAllKeptKeys() {
  GiveUpEveryReason();
  reasons &= ~kReplayOnItsWay;
  on_its_way.clear();
  own_to_see = 0;
  SendKeptKeys();
  reasons = 0;
  gave_up = false;
  StopPolling();
}
