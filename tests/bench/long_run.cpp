// The long runs. A host runs in this process, this program plays the
// application, and xdotool types physical keys into second programs'
// editors; what each editor then holds is set against what was typed into
// it: keys lost, doubled and reordered, and keys in the wrong window.
//
//   long_run.exe --soak [--keys N] [--delay MS] [--seed S]
// The application listens, holds word ends and replaces every third held
// word by its capitals (typing capture, backspaces, the new text, the held
// key released), as the real one would, giving the word up when a reply
// says false. Meanwhile the typist does what users do: lone modifier taps
// and modifiers held across others, Shift+Enter (each editor logs the Shift
// state at its Returns), word ends in fast bursts, and Alt+Tab between two
// editors. Private bytes are shown.
//
//   long_run.exe --stress [--seconds N] [--seed S]
// For a bounded time, anything on all five channels: real and random method
// names with arguments of every kind and shape, raw malformed bytes and
// listen/cancel storms on both streams, with a plain call probed throughout.
// Then, in a phase of their own, the injecting methods with small arguments
// of the same shapes, their text checked apart. Private bytes must not grow.
//
// Exit code 0 when every call was answered once and as allowed, the text
// (the stress's two) came whole, in order and in its window, every Return
// with the Shift state it was typed with, no modifier was left down, every
// switch reached its window and the watchdog never put the hooks back; the
// soak must also have replaced words, the stress have had every plain call
// answered within seconds. Reply times are shown, not judged.

#include <flutter/encodable_value.h>
#include <flutter/method_result_functions.h>
#include <flutter/standard_method_codec.h>
#include <flutter_app/app_messenger.h>
#include <windows.h>
// After windows.h, whose types it uses.
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "injection/input_synthesis.h"
#include "keyboard_harness.h"
#include "soak_support.h"
#include "test_support.h"

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter_app::AppMessenger;
using namespace test_support;

namespace {

using Bytes = std::vector<uint8_t>;

// The two streams come first.
const char* const kChannels[] = {"korvex/key_events", "korvex/taskbar_theme",
                                 "korvex/automation", "korvex/file_open",
                                 "korvex/notifications"};
constexpr int kStreamCount = 2;
constexpr int kAutomation = 2;

// Every name the application may send, the injecting methods apart.
const char* const kMethodNames[] = {
    "clipboardChangeCount", "readClipboardText", "writeClipboardText",
    "setLogDirectory", "saveClipboard", "restoreClipboard", "setHoldWordEnd",
    "extendHold", "releaseHeldKey", "setTypingCapture", "setKeySounds",
    "playKeySound", "listKeyboardLayouts", "systemLayouts",
    "runningLayoutSwitchers", "isPasswordFieldFocused", "showHud",
    "foregroundWindowInfo", "rememberForegroundWindow",
    "restoreForegroundWindow", "uiaSelectedText", "fileOpenReady", "listen",
    "cancel", "openFile", "clicked"};
bool IsInjecting(const std::string& method) {
  return method == "typeText" || method == "backspace" || method == "copy" ||
         method == "paste";
}
const char* const kArgumentKeys[] = {"text",    "count", "id",  "enabled",
                                     "samples", "path",  "name"};
// Sample names stay few: the cache keeps one sound per name by design.
const char* const kSampleNames[] = {"00000409", "00000419", "click", ""};

// The reply time a plain call is meant to keep to; shown, not judged: on a
// shared machine any thread can wait longer than that for a core.
constexpr int64_t kPlainCallLimitUs = 100000;
// A plain call unanswered this long is a host that no longer serves.
constexpr int kStalledMs = 5000;
// Heap pages a stress run may leave committed without growing.
constexpr long long kAllowedGrowthBytes = 1 << 20;

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::GetInstance();
}

Bytes Encode(const std::string& method, const EncodableValue& arguments) {
  flutter::MethodCall<EncodableValue> call(
      method, std::make_unique<EncodableValue>(arguments));
  return *Codec().EncodeMethodCall(call);
}

EncodableValue Map(const char* key, EncodableValue value) {
  return EncodableValue(EncodableMap{{EncodableValue(key), std::move(value)}});
}

// This process's private commit, which Windows also reports as PrivateUsage;
// Wine fills in only this field.
size_t PrivateBytes() {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters));
  return counters.PagefileUsage;
}

// Values of every kind and shape, from one seed.
class Hostile {
 public:
  explicit Hostile(uint64_t seed) : random_(seed) {}

  uint64_t Next() { return random_(); }
  int Below(int n) { return static_cast<int>(random_() % n); }
  bool Chance(int percent) { return Below(100) < percent; }

  // Mostly short; now and then long, rarely very long.
  size_t Length(bool allow_huge) {
    const int roll = Below(1000);
    if (roll < 700) return Below(17);
    if (roll < 980 || !allow_huge) return Below(4097);
    return (1 << 16) + Below(1 << 20);
  }

  std::string Text(bool allow_huge) {
    std::string text(Length(allow_huge), 'x');
    const int style = Below(3);
    for (char& c : text) {
      c = style == 0   ? static_cast<char>('a' + Below(26))
          : style == 1 ? static_cast<char>(Next())  // NULs, broken UTF-8
                       : "\xD0\xB9\xE2\x82\xAC\"\\\n%s"[Below(10)];
    }
    return text;
  }

  Bytes ByteList(bool allow_huge) {
    Bytes bytes(Length(allow_huge));
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(Next());
    return bytes;
  }

  // A RIFF/WAVE image whose chunk sizes lie.
  Bytes Wave() {
    Bytes bytes = ByteList(false);
    bytes.resize(bytes.size() + 64);
    const char* head = "RIFF\xFF\xFF\xFF\x7FWAVEfmt ";
    for (int i = 0; i < 16; ++i) bytes[i] = static_cast<uint8_t>(head[i]);
    for (int i = 16; i < 20; ++i) bytes[i] = static_cast<uint8_t>(Next());
    return bytes;
  }

  // Edges of both widths, int64 also where int32 is read.
  EncodableValue Integer() {
    static const int64_t edges[] = {
        0,         1,         -1,        2,        (int64_t{1} << 32) + 2,
        INT32_MAX, INT32_MIN, INT64_MAX, INT64_MIN};
    const int64_t value =
        Chance(50) ? edges[Below(9)] : static_cast<int64_t>(Next());
    if (Chance(50)) return EncodableValue(static_cast<int32_t>(value));
    return EncodableValue(value);
  }

  EncodableValue Value(int depth, bool allow_huge) {
    static const double doubles[] = {0.0, -0.0, 1.5, NAN, INFINITY, 1e308};
    const int roll = Below(depth > 3 ? 11 : 14);
    if (roll == 0) return EncodableValue();
    if (roll == 1) return EncodableValue(Chance(50));
    if (roll < 4) return Integer();
    if (roll == 4) return EncodableValue(doubles[Below(6)]);
    if (roll < 7) return EncodableValue(Text(allow_huge));
    if (roll == 7) return EncodableValue(ByteList(allow_huge));
    if (roll == 8)
      return EncodableValue(std::vector<int32_t>(Length(false), -7));
    if (roll == 9)
      return EncodableValue(std::vector<int64_t>(Length(false), 1));
    if (roll == 10) {
      if (Chance(50)) return EncodableValue(std::vector<double>(Below(9), 2.5));
      return EncodableValue(std::vector<float>(Below(9), 0.5f));
    }
    if (roll == 11) {
      EncodableList list;
      for (int i = Below(5); i > 0; --i)
        list.push_back(Value(depth + 1, false));
      return EncodableValue(std::move(list));
    }
    // Keys of any kind, not only strings.
    EncodableMap map;
    for (int i = Below(5); i > 0; --i) {
      map[Value(depth + 1, false)] = Value(depth + 1, false);
    }
    return EncodableValue(std::move(map));
  }

  // Lists in lists, about as deep as the codec takes or deeper.
  EncodableValue Deep() {
    EncodableValue value(EncodableList{});
    for (int i = 200 + Below(120); i > 0; --i) {
      value = Chance(50) ? EncodableValue(EncodableList{std::move(value)})
                         : Map("text", std::move(value));
    }
    return value;
  }

  EncodableValue Samples() {
    EncodableMap samples;
    for (int i = Below(4); i >= 0; --i) {
      const int kind = Below(4);
      samples[EncodableValue(kSampleNames[Below(4)])] =
          kind == 0   ? EncodableValue(Wave())
          : kind == 1 ? EncodableValue(ByteList(false))
          : kind == 2 ? EncodableValue(Bytes())
                      : Value(2, false);
    }
    return EncodableValue(std::move(samples));
  }

  // A map under the real keys, with values of any kind; or anything else.
  EncodableValue Arguments() {
    if (Chance(20)) return Value(0, true);
    EncodableMap arguments;
    for (int i = Below(4); i >= 0; --i) {
      const std::string key = kArgumentKeys[Below(7)];
      arguments[EncodableValue(key)] =
          key == "samples" && Chance(70) ? Samples() : Value(1, true);
    }
    if (Chance(20)) arguments[Value(2, false)] = Value(2, false);
    return EncodableValue(std::move(arguments));
  }

  // A real name, or one in other letter case, or anything.
  std::string MethodName() {
    const int roll = Below(100);
    if (roll >= 80) return Text(Chance(5));
    std::string name = kMethodNames[Below(std::size(kMethodNames))];
    if (roll >= 65) name[0] = static_cast<char>(toupper(name[0]));
    return name;
  }

  // Bytes no encoder would write.
  Bytes Malformed() {
    Bytes bytes = Encode(MethodName(), Arguments());
    const int size = static_cast<int>(bytes.size()), roll = Below(6);
    if (roll == 0) return ByteList(false);
    if (roll == 1) bytes.resize(Below(size));
    if (roll == 2) {
      for (int i = 1 + Below(4); i > 0; --i) {
        bytes[Below(size)] = static_cast<uint8_t>(Next());
      }
    }
    if (roll == 3) {
      for (int i = 1 + Below(8); i > 0; --i) bytes.push_back(Next() & 0xFF);
    }
    if (roll == 4) {
      // A string, then a list, that claim more than there is.
      bytes = {7, 254, 0xFF, 0xFF, 'a', 12, 255, 0xFF, 0xFF, 0xFF, 0x7F};
      bytes.resize(Below(12));
    }
    if (roll == 5) {
      // An unknown type tag where a value belongs.
      bytes = {7, 4, 'n', 'a', 'm', 'e', static_cast<uint8_t>(14 + Below(242))};
    }
    return bytes;
  }

 private:
  std::mt19937_64 random_;
};

// What the application made of a word held at its end.
enum class Outcome { kKept, kReplaced, kErased };

// Words into the second programs, chunk after chunk, until |keys| were
// pressed or it is told to stop; and what each editor must then hold. Each
// target's words take letters from its own half of the alphabet: one of
// the other half is a key that landed in the wrong window. |acting|, it
// does what users do during repairs: taps and holds modifiers, types word
// ends in fast bursts, and switches between the targets with Alt+Tab.
class Typist {
 public:
  struct Figures {
    int switches = 0, focus_faults = 0, shift_enters = 0, modifier_taps = 0,
        bursts = 0;
  };

  Typist(uint64_t seed, std::vector<SoakTarget*> targets, bool acting,
         int delay_ms)
      : random_(seed),
        targets_(std::move(targets)),
        acting_(acting && targets_.size() > 1),
        delay_ms_(delay_ms) {}

  void Run(int keys, const std::atomic<bool>& stop) {
    figures_.focus_faults += !Reach(*targets_[0]);
    while (ok_ && !stop && strokes_ < keys) {
      xdo_.clear();
      mode_ = -1;
      int strokes = 0;
      bool switching = false;
      while (strokes < 40 && strokes_ + strokes < keys && !switching) {
        strokes += acting_ && Chance(5) ? Burst()
                                        : Word(delay_ms_, 3 + Below(5), false);
        if (acting_ && Chance(12)) strokes += Modifiers();
        switching = acting_ && Chance(7);
      }
      if (switching) {
        Command("keydown alt key Tab");
        strokes += 2;
      }
      ok_ = Xdo(xdo_);
      strokes_ += strokes;
      if (ok_ && switching) Switch();
    }
    done_ = true;
  }

  // What target |t| must hold, given the application's outcomes for the
  // held words in the order they were held.
  std::wstring Expected(int t, const std::vector<Outcome>& outcomes) const {
    std::wstring text;
    size_t held = 0;
    for (const TypedWord& typed : words_) {
      const Outcome outcome = typed.held && held < outcomes.size()
                                  ? outcomes[held]
                                  : Outcome::kKept;
      held += typed.held;
      if (typed.target != t) continue;
      for (wchar_t c : typed.word) {
        if (outcome == Outcome::kKept) text += c;
        if (outcome == Outcome::kReplaced) text += towupper(c);
      }
      text += typed.end;
    }
    return text;
  }
  // Target |t|'s Returns in order: "S" typed with Shift, "-" without.
  const std::wstring& returns(int t) const { return returns_[t]; }

  // These once it is done.
  const Figures& figures() const { return figures_; }
  int strokes() const { return strokes_; }
  bool ok() const { return ok_; }
  bool done() const { return done_; }

 private:
  struct TypedWord {
    int target = 0;
    std::wstring word, end;
    bool held = false;  // ended by Enter or Tab
  };

  int Below(int n) { return static_cast<int>(random_() % n); }
  bool Chance(int percent) { return Below(100) < percent; }

  // Keys |delay| ms apart.
  void Keys(const std::string& keys, int delay) {
    if (delay != mode_) {
      xdo_ += " key --delay " + std::to_string(delay);
      mode_ = delay;
    }
    xdo_ += " " + keys;
  }
  void Command(const std::string& command) {
    xdo_ += " " + command;
    mode_ = -1;
  }

  // |letters| letters, the first one capitalised now and then, some rubbed
  // out and typed again, ended by a space, Enter, Shift+Enter or Tab (only
  // the held ones when |held_end|); the keys it takes.
  int Word(int delay, int letters, bool held_end) {
    static const char* const kEnds[] = {"space", "Return", "shift+Return",
                                        "Tab"};
    static const wchar_t* const kTexts[] = {L" ", L"\r\n", L"\r\n", L"\t"};
    TypedWord typed;
    typed.target = current_;
    int strokes = 1;
    for (int i = letters; i > 0; --i) {
      if (acting_ && Chance(2)) strokes += Modifiers();
      const char letter = static_cast<char>('a' + 13 * current_ + Below(13));
      const bool shift = typed.word.empty() && Chance(30);
      Keys((shift ? "shift+" : "") + std::string(1, letter), delay);
      typed.word += static_cast<wchar_t>(shift ? toupper(letter) : letter);
      strokes += shift ? 2 : 1;
      if (typed.word.size() > 1 && Chance(8)) {
        Keys("BackSpace " + std::string(1, letter), delay);
        strokes += 2;
      }
    }
    const int roll = held_end ? 6 + Below(4) : Below(10);
    const int end = roll < 6 ? 0 : roll < 8 ? roll - 5 : 3;
    Keys(kEnds[end], delay);
    typed.end = kTexts[end];
    typed.held = end > 0;
    if (end == 1 || end == 2) returns_[current_] += end == 2 ? L'S' : L'-';
    figures_.shift_enters += end == 2;
    words_.push_back(typed);
    return strokes + (end == 2);
  }

  // A lone Ctrl, Shift or Alt; or Ctrl or Shift held across taps of the
  // other: no chord that edits the text.
  int Modifiers() {
    static const char* const kKeys[] = {"ctrl", "shift", "alt"};
    ++figures_.modifier_taps;
    if (Chance(60)) {
      Keys(kKeys[Below(3)], delay_ms_);
      return 1;
    }
    const int held = Below(2), taps = 1 + Below(3);
    Command(std::string("keydown ") + kKeys[held]);
    for (int i = 0; i < taps; ++i) Keys(kKeys[1 - held], delay_ms_);
    Command(std::string("keyup ") + kKeys[held]);
    return 1 + taps;
  }

  // "ok", Enter, "thx", Enter: each word end typed while the one before
  // it is still held.
  int Burst() {
    ++figures_.bursts;
    int strokes = 0;
    for (int i = 2 + Below(2); i > 0; --i) {
      strokes += Word(kBurstDelayMs, 2 + Below(3), true);
    }
    return strokes;
  }

  // Alt is down and Tab was pressed. A switcher acts on the chord as it
  // reaches the system, which the engine may keep back behind a
  // replacement: here the target it reached says so, and then the focus
  // moves and Alt is let go.
  void Switch() {
    ++figures_.switches;
    const bool arrived = targets_[current_]->AltTabArrived(kSwitchWaitMs);
    current_ = 1 - current_;
    targets_[current_]->Focus();
    ok_ = Xdo("keyup alt");
    figures_.focus_faults += !arrived + !Reach(*targets_[current_]);
  }

  // Whether |target| holds the focus, the switch retried as this platform
  // needs: the desktop may end up in front while the X focus is where it
  // was sent, and a second windowfocus then changes nothing.
  static bool Reach(SoakTarget& target) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      if (target.KeepsFocus(500)) return true;
      SetForegroundWindow(target.window());
      target.Focus();
    }
    return false;
  }

  static constexpr int kBurstDelayMs = 4;
  static constexpr DWORD kSwitchWaitMs = 10000;

  std::mt19937_64 random_;
  const std::vector<SoakTarget*> targets_;
  const bool acting_;
  const int delay_ms_;
  int current_ = 0;
  std::string xdo_;
  int mode_ = -1;  // the delay of the key command the chunk ends in
  std::vector<TypedWord> words_;
  std::wstring returns_[2];
  Figures figures_;
  int strokes_ = 0;
  bool ok_ = true;
  std::atomic<bool> done_{false};
};

struct Diff {
  int lost = 0, doubled = 0, reordered = 0, other = 0;
};

// Walks both texts; where they part, the fewest units skipped on the two
// sides after which they agree again make one place of difference. There
// the units found on both sides in order stay, as in the shortest edit; of
// the rest, a unit missing is lost, or reordered when found again within a
// few places; one more is doubled when equal to its neighbour.
Diff Compare(const std::wstring& expected, const std::wstring& actual) {
  constexpr size_t kAgree = 8, kFarthest = 4096, kNear = 8;
  const size_t n = expected.size(), m = actual.size();
  Diff diff;
  for (size_t i = 0, j = 0; i < n || j < m;) {
    if (i < n && j < m && expected[i] == actual[j]) {
      ++i, ++j;
      continue;
    }
    size_t lost = n - i, added = m - j;  // at worst the rest: the ends agree
    for (size_t d = 1; d < lost + added && d <= kFarthest; ++d) {
      size_t a = d > m - j ? d - (m - j) : 0;
      while (a <= d && a <= n - i &&
             expected.compare(i + a, kAgree, actual, j + d - a, kAgree) != 0) {
        ++a;
      }
      if (a <= d && a <= n - i) {
        lost = a, added = d - a;
        break;
      }
    }
    std::vector<bool> gone(lost, true), extra(added, true);
    for (size_t s = 0, r = 0; s < added; ++s) {
      size_t k = r;
      while (k < lost && expected[i + k] != actual[j + s]) ++k;
      if (k < lost) gone[k] = extra[s] = false, r = k + 1;
    }
    for (size_t r = 0; r < lost; ++r) {
      for (size_t s = r > kNear ? r - kNear : 0;
           gone[r] && s < added && s <= r + kNear; ++s) {
        if (extra[s] && actual[j + s] == expected[i + r]) {
          gone[r] = extra[s] = false;
          ++diff.reordered;
        }
      }
      diff.lost += gone[r];
    }
    for (size_t s = 0; s < added; ++s) {
      const size_t at = j + s;
      if (!extra[s]) continue;
      ++((at > 0 && actual[at - 1] == actual[at]) ||
                 (at + 1 < m && actual[at + 1] == actual[at])
             ? diff.doubled
             : diff.other);
    }
    i += lost, j += added;
  }
  return diff;
}

// Prints how |actual| differs from |expected|, and where they first part;
// the number of differences.
int Report(const std::string& what, const std::wstring& expected,
           const std::wstring& actual) {
  const Diff d = Compare(expected, actual);
  std::printf("%s: %zu units: lost %d, doubled %d, reordered %d, other %d\n",
              what.c_str(), expected.size(), d.lost, d.doubled, d.reordered,
              d.other);
  const int total = d.lost + d.doubled + d.reordered + d.other;
  size_t i = 0;
  while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) {
    ++i;
  }
  auto show = [from = i > 20 ? i - 20 : 0](const std::wstring& text) {
    std::string out;
    for (wchar_t c : text.substr(from, 40)) {
      out += c == L'\r'   ? "\\r"
             : c == L'\n' ? "\\n"
             : c == L'\t' ? "\\t"
             : c < 0x80   ? std::string(1, static_cast<char>(c))
                          : "?";
    }
    return out;
  };
  if (total > 0) {
    std::printf(
        "%s: holds %zu units; first difference at %zu:\n  expected "
        "\"%s\"\n  actual   \"%s\"\n",
        what.c_str(), actual.size(), i, show(expected).c_str(),
        show(actual).c_str());
  }
  return total;
}

enum class Kind { kNone, kSuccess, kError, kNotImplemented, kMalformed };

// Fixed size and made before the run: the record of the calls must not
// show as the host's memory growing.
struct Call {
  int channel = 0;
  char what[32] = {};           // the method, or "(raw)", cut short
  Kind expected = Kind::kNone;  // when only one answer is right
  Kind kind = Kind::kNone;
  int replies = 0;
  int64_t sent_us = 0;
  int64_t reply_us = 0;
  bool answer = false;             // the reply was true
  std::function<void(bool)> then;  // on the first reply, with |answer|
};

// A call with one right answer must get it; any other a success or "not
// implemented"; any call exactly one reply.
bool Wrong(const Call& call) {
  if (call.replies != 1) return call.replies > 1;
  if (call.expected != Kind::kNone) return call.kind != call.expected;
  return call.kind != Kind::kSuccess && call.kind != Kind::kNotImplemented;
}

Kind DecodeKind(const uint8_t* data, size_t size, bool& answer) {
  if (size == 0) return Kind::kNotImplemented;
  Kind kind = Kind::kMalformed;
  flutter::MethodResultFunctions<EncodableValue> result(
      [&](const EncodableValue* value) {
        kind = Kind::kSuccess;
        const bool* yes = value ? std::get_if<bool>(value) : nullptr;
        answer = yes && *yes;
      },
      [&](const std::string&, const std::string&, const EncodableValue*) {
        kind = Kind::kError;
      },
      [&] { kind = Kind::kNotImplemented; });
  if (!Codec().DecodeAndProcessResponseEnvelope(data, size, &result)) {
    return Kind::kMalformed;
  }
  return kind;
}

struct Tally {
  size_t sent = 0, replies = 0, unanswered = 0, twice = 0, success = 0,
         not_implemented = 0, cancel_errors = 0, wrong = 0;
  // The longest the host spent on one call: from its arrival, or the
  // reply before it, to its own reply (the host serves them in order).
  Call slowest;
  int64_t slowest_us = 0;
};

// The application's side, on its own thread, with the messenger's C API:
// each call's reply lands in a slot that outlives the run, so that a second
// reply is counted rather than freed twice.
class Application {
 public:
  Application(AppMessenger& app, size_t capacity)
      : app_(app), calls_(capacity) {
    Attach(this);
  }
  ~Application() { Attach(nullptr); }

  // Each key record that arrives.
  std::function<void(const EncodableMap&)> on_record;
  size_t events = 0, watchdog_repairs = 0;
  int64_t worst_probe_us = 0;

  Call* Send(int channel, const Bytes& message, const std::string& what,
             Kind expected = Kind::kNone,
             std::function<void(bool)> then = nullptr) {
    if (full()) return nullptr;
    Call* call = &calls_[used_++];
    call->channel = channel;
    what.copy(call->what, sizeof(call->what) - 1);
    call->expected =
        channel < kStreamCount ? StreamAnswer(channel, message) : expected;
    call->then = std::move(then);
    call->sent_us = NowUs();
    if (!FlutterDesktopAppMessengerSend(
            app_.ref(), kChannels[channel],
            message.empty() ? nullptr : message.data(), message.size(), OnReply,
            call)) {
      call->replies = -1;  // refused: the engine is going
    }
    return call;
  }
  // An automation call that must succeed.
  void Invoke(const char* method, const EncodableValue& arguments,
              std::function<void(bool)> then = nullptr) {
    Send(kAutomation, Encode(method, arguments), method, Kind::kSuccess,
         std::move(then));
  }
  void CancelStreams() {
    for (int stream = 0; stream < kStreamCount; ++stream) {
      if (listening_[stream]) {
        Send(stream, Encode("cancel", EncodableValue()), "cancel");
      }
    }
  }

  // A plain call, waited for; its reply time.
  int64_t Probe() {
    static const Bytes probe = Encode("clipboardChangeCount", EncodableValue());
    Call* call = Send(kAutomation, probe, "clipboardChangeCount");
    if (!call) return 0;
    app_.RunUntil([call] { return call->replies != 0; }, kStalledMs);
    const int64_t took =
        (call->replies > 0 ? call->reply_us : NowUs()) - call->sent_us;
    worst_probe_us = std::max(worst_probe_us, took);
    return took;
  }

  bool full() const { return used_ == calls_.size(); }
  size_t Unanswered() const {
    size_t count = 0;
    for (size_t i = 0; i < used_; ++i) count += calls_[i].replies == 0;
    return count;
  }

  // Also lists the first wrong answers.
  Tally Count() const {
    Tally t;
    int64_t previous_reply_us = 0;
    for (size_t i = 0; i < used_; ++i) {
      const Call& call = calls_[i];
      ++t.sent;
      if (Wrong(call) && t.wrong + t.twice < 10) {
        std::printf("%s \"%.31s\": %d replies, kind %d (expected %d)\n",
                    kChannels[call.channel], call.what, call.replies,
                    static_cast<int>(call.kind),
                    static_cast<int>(call.expected));
      }
      t.unanswered += call.replies <= 0;
      if (call.replies <= 0) continue;
      t.replies += call.replies;
      t.twice += call.replies > 1;
      t.wrong += call.replies == 1 && Wrong(call);
      t.success += call.kind == Kind::kSuccess;
      t.not_implemented += call.kind == Kind::kNotImplemented;
      // The stream protocol's own answer to a cancel with nothing to cancel.
      t.cancel_errors += call.channel < kStreamCount &&
                         call.kind == Kind::kError &&
                         call.expected == Kind::kError;
      // The injecting methods answer once their input was sent.
      const int64_t served_us =
          call.reply_us - std::max(call.sent_us, previous_reply_us);
      previous_reply_us = call.reply_us;
      if (!IsInjecting(call.what) && served_us > t.slowest_us) {
        t.slowest = call;
        t.slowest_us = served_us;
      }
    }
    return t;
  }

  AppMessenger& messenger() { return app_; }

 private:
  void Attach(Application* self) {
    for (int i = 0; i < kStreamCount; ++i) {
      FlutterDesktopAppMessengerSetCallback(app_.ref(), kChannels[i],
                                            self ? OnEvent : nullptr, self);
    }
  }

  // What the stream handler answers, foreseen from the same decoding.
  Kind StreamAnswer(int stream, const Bytes& message) {
    auto call = Codec().DecodeMethodCall(
        message.empty() ? nullptr : message.data(), message.size());
    const std::string method = call ? call->method_name() : "";
    const bool was = listening_[stream];
    if (method == "listen" || method == "cancel") {
      listening_[stream] = method == "listen";
    }
    if (method == "cancel") return was ? Kind::kSuccess : Kind::kError;
    return method == "listen" ? Kind::kSuccess : Kind::kNotImplemented;
  }

  static void OnReply(const uint8_t* data, size_t size, void* user_data) {
    Call* call = static_cast<Call*>(user_data);
    if (++call->replies == 1) {
      call->reply_us = NowUs();
      call->kind = DecodeKind(data, size, call->answer);
      if (call->then) call->then(call->answer);
    }
  }

  static void OnEvent(const char*, const uint8_t* message, size_t size,
                      FlutterDesktopAppResponse* response, void* user_data) {
    auto* self = static_cast<Application*>(user_data);
    ++self->events;
    if (response) {
      FlutterDesktopAppMessengerSendResponse(self->app_.ref(), response,
                                             nullptr, 0);
      return;
    }
    flutter::MethodResultFunctions<EncodableValue> result(
        [self](const EncodableValue* value) {
          const auto* map = value ? std::get_if<EncodableMap>(value) : nullptr;
          if (!map) return;
          // A user typing along never makes the watchdog put the hooks back.
          self->watchdog_repairs +=
              StringOf(*map, "type") == "diag" &&
              StringOf(*map, "message") == "keyboard hook lost: reinstalled";
          if (self->on_record) self->on_record(*map);
        },
        nullptr, nullptr);
    if (size > 0) {
      Codec().DecodeAndProcessResponseEnvelope(message, size, &result);
    }
  }

  AppMessenger& app_;
  std::vector<Call> calls_;
  size_t used_ = 0;
  bool listening_[kStreamCount] = {};
};

// One hostile message of any sort; storms are several.
void SendHostile(Application& application, Hostile& hostile) {
  const int roll = hostile.Below(100);
  if (roll < 45) {
    const int channel = hostile.Chance(60) ? kAutomation : hostile.Below(5);
    const std::string method = hostile.MethodName();
    application.Send(channel, Encode(method, hostile.Arguments()), method);
  } else if (roll < 70) {
    application.Send(hostile.Below(5), hostile.Malformed(), "(raw)");
  } else if (roll < 88) {
    for (int i = 2 + hostile.Below(11); i > 0; --i) {
      const char* method = hostile.Chance(50) ? "listen" : "cancel";
      application.Send(hostile.Below(kStreamCount),
                       Encode(method, hostile.Value(1, false)), method);
    }
  } else {
    const std::string method =
        kMethodNames[hostile.Below(std::size(kMethodNames))];
    application.Send(hostile.Below(5), Encode(method, hostile.Deep()), method);
  }
}

// The injecting methods with small arguments of every shape, in call
// order; what they leave in an empty editor.
std::wstring SendInjecting(Application& application, Hostile& hostile,
                           int count) {
  std::wstring text;
  for (int i = 0; i < count; ++i) {
    const int roll = hostile.Below(10), n = hostile.Below(3);
    const char* method = roll < 4   ? "typeText"
                         : roll < 7 ? "backspace"
                         : roll < 8 ? "copy"
                                    : "paste";
    EncodableValue arguments;
    if (roll < 3) {
      std::string word(1 + hostile.Below(5), 'a');
      for (char& c : word) c = static_cast<char>('a' + hostile.Below(26));
      EncodableMap map{{EncodableValue("text"), EncodableValue(word)}};
      if (hostile.Chance(30)) map[EncodableValue(7)] = EncodableValue("x");
      arguments = EncodableValue(std::move(map));
      text += std::wstring(word.begin(), word.end());
    } else if (roll == 3) {
      // Not a string, or not a map: nothing is typed.
      arguments = hostile.Chance(50)
                      ? Map("text", EncodableValue(int64_t{65}))
                      : EncodableValue(EncodableList{EncodableValue("text"),
                                                     EncodableValue("no")});
    } else if (roll < 6) {
      arguments = Map("count", hostile.Chance(50)
                                   ? EncodableValue(n)
                                   : EncodableValue((int64_t{1} << 32) + n));
      text.resize(text.size() > static_cast<size_t>(n) ? text.size() - n : 0);
    } else if (roll == 6) {
      // Nothing to count with: nothing is erased.
      static const EncodableValue nothing[] = {
          EncodableValue(), EncodableValue("2"), EncodableValue(2.0),
          EncodableValue(-3)};
      arguments = Map("count", nothing[hostile.Below(4)]);
    } else {
      // Nothing is selected to copy; the clipboard holds "clip".
      arguments = hostile.Value(2, false);
      if (roll > 7) text += L"clip";
    }
    application.Send(kAutomation, Encode(method, arguments), method);
  }
  return text;
}

// The editors' texts once every call was answered and they held still for
// 3 s (a starved target can take its time over what it was sent).
std::vector<std::wstring> Settle(Application& application,
                                 const std::vector<SoakTarget*>& targets) {
  std::vector<std::wstring> texts, last;
  ULONGLONG changed_at = GetTickCount64();
  auto settled = [&] {
    texts.clear();
    for (const SoakTarget* target : targets) texts.push_back(target->Text());
    if (texts != last) {
      last = texts;
      changed_at = GetTickCount64();
    }
    return GetTickCount64() - changed_at >= 3000 &&
           application.Unanswered() == 0;
  };
  Poll(application.messenger(), settled, 60000);
  return texts;
}

// Letters in |text| from the half of the alphabet that is not target |t|'s.
int ForeignLetters(const std::wstring& text, int t) {
  int count = 0;
  for (wchar_t c : text) {
    c = towlower(c);
    count += c >= L'a' && c <= L'z' && (c - L'a') / 13 != t;
  }
  return count;
}

// Places where the Return log differs from the Shift states typed.
int WrongShiftStates(const std::wstring& typed, const std::wstring& logged) {
  int wrong = static_cast<int>(std::max(typed.size(), logged.size()) -
                               std::min(typed.size(), logged.size()));
  for (size_t i = 0; i < std::min(typed.size(), logged.size()); ++i) {
    wrong += typed[i] != logged[i];
  }
  return wrong;
}

// One run, as the application; the exit code.
int LongRun(AppMessenger& app, KeyboardHarness& host,
            const std::vector<SoakTarget*>& targets, bool stress, int keys,
            int delay_ms, int seconds, int seed) {
  const ULONGLONG started = GetTickCount64();
  Typist typist(seed + 1, targets, !stress, delay_ms);
  size_t bytes_before = 0, probes = 0, late_probes = 0, stalled_probes = 0;
  int replaced = 0, refused = 0;
  std::wstring injected_expected, injected;
  // Room for what a run sends at the rate seen here, and then some.
  Application application(app, 4000 * seconds + keys + 20000);
  Hostile hostile(seed);
  // The soak's application: tracks the word from the records, answers
  // each held key and replaces every third held word by its capitals,
  // giving up when a reply says false. Its outcome for each held word.
  std::vector<Outcome> outcomes;
  std::string word;
  int held_words = 0;
  if (!stress) {
    application.on_record = [&](const EncodableMap& record) {
      if (StringOf(record, "type") != "keyDown" || BoolOf(record, "repeat")) {
        return;
      }
      const int32_t vk = IntOf(record, "keycode");
      if (Has(record, "held")) {
        const EncodableValue id(IntOf(record, "held"));
        outcomes.push_back(Outcome::kKept);
        if (!word.empty() && ++held_words % 3 == 0) {
          // Keys the user types meanwhile wait in the capture; the held
          // key and then they follow the new word.
          for (char& c : word) {
            c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
          }
          auto finish = [&, id, slot = outcomes.size() - 1](Outcome outcome) {
            outcomes[slot] = outcome;
            ++(outcome == Outcome::kReplaced ? replaced : refused);
            application.Invoke("releaseHeldKey", Map("id", id));
            application.Invoke("setTypingCapture", Map("enabled", false));
          };
          auto type = [&, finish, word](bool erased) {
            if (!erased) return finish(Outcome::kKept);
            application.Invoke(
                "typeText", Map("text", word), [finish](bool typed) {
                  finish(typed ? Outcome::kReplaced : Outcome::kErased);
                });
          };
          auto erase = [&, finish, type, count = word.size()](bool held) {
            Sleep(200);  // deciding, past the first hold's end
            // A key its timer let go is in the text already, after the word.
            if (!held) return finish(Outcome::kKept);
            application.Invoke("backspace",
                               Map("count", static_cast<int32_t>(count)), type);
          };
          application.Invoke("setTypingCapture", Map("enabled", true));
          application.Invoke("extendHold", Map("id", id), erase);
        } else {
          application.Invoke("releaseHeldKey", Map("id", id));
        }
        word.clear();
      } else if (vk == VK_BACK) {
        if (!word.empty()) word.pop_back();
      } else if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_TAB) {
        word.clear();
      } else {
        word += StringOf(record, "chars");
      }
    };
  }
  // With KORVEX_TRACE=1 the host's capture log goes to KORVEX_SOAK_LOG_DIR.
  if (const char* folder = std::getenv("KORVEX_SOAK_LOG_DIR")) {
    application.Invoke("setLogDirectory", Map("path", std::string(folder)));
  }
  application.Send(0, Encode("listen", EncodableValue()), "listen");
  if (!stress) application.Invoke("setHoldWordEnd", Map("enabled", true));
  app.RunUntil([&] { return application.Unanswered() == 0; }, 5000);

  std::atomic<bool> stop{false};
  std::thread typing([&] { typist.Run(stress ? INT_MAX : keys, stop); });
  const ULONGLONG warm_until = GetTickCount64() + 1500;
  const ULONGLONG end = GetTickCount64() + seconds * 1000ULL;
  while (stress ? GetTickCount64() < end && !application.full()
                : !typist.done()) {
    if (stress) {
      for (int i = 1 + hostile.Below(8); i > 0; --i) {
        SendHostile(application, hostile);
      }
      const int64_t took = application.Probe();
      ++probes;
      late_probes += took > kPlainCallLimitUs;
      stalled_probes += took >= kStalledMs * int64_t{1000};
    } else if (app.RunPending(10) < 0) {
      break;
    }
    host.TakeSeenKeys();  // the harness's own log of keys, not the host's
    // The baseline once the first words were replaced.
    if (!bytes_before &&
        (stress ? GetTickCount64() >= warm_until : replaced >= 3)) {
      bytes_before = PrivateBytes();
    }
  }
  stop = true;
  Poll(
      app, [&] { return typist.done(); }, 60000);
  typing.join();

  if (stress) {
    // Held and captured keys go out, the hooks go; the editor settles.
    application.Invoke("setHoldWordEnd", Map("enabled", false));
    application.Invoke("setTypingCapture", Map("enabled", false));
    application.CancelStreams();
  }
  const char* who = stress ? "stress" : "soak";
  const std::vector<std::wstring> received = Settle(application, targets);
  // Each target against what was typed into it; a key of the other's, or
  // one in the host's own window, went to the wrong window.
  int typed_differences = 0, shift_states_wrong = 0;
  int wrong_window = static_cast<int>(host.EditText().size());
  for (int t = 0; t < static_cast<int>(targets.size()); ++t) {
    typed_differences += Report(
        std::string(who) + " typed text in target " + std::to_string(t + 1),
        typist.Expected(t, outcomes), received[t]);
    wrong_window += ForeignLetters(received[t], t);
    const std::wstring log = targets[t]->ReturnLog();
    const int wrong = WrongShiftStates(typist.returns(t), log);
    if (wrong > 0) {
      std::printf(
          "%s: Returns in target %d with Shift (S) or without (-):\n"
          "  typed  %ls\n  logged %ls\n",
          who, t + 1, typist.returns(t).c_str(), log.c_str());
    }
    shift_states_wrong += wrong;
  }
  if (stress) {
    // The injecting methods alone, into an empty editor, hooks in.
    targets[0]->Clear();
    application.Send(0, Encode("listen", EncodableValue()), "listen");
    application.Invoke("writeClipboardText",
                       Map("text", EncodableValue("clip")));
    injected_expected = SendInjecting(application, hostile, 30);
    injected = Settle(application, {targets[0]})[0];
  }
  application.CancelStreams();
  app.RunUntil([&] { return application.Unanswered() == 0; }, 10000);
  const size_t bytes_after = PrivateBytes();
  const Tally tally = application.Count();
  int modifiers_down = 0;
  for (WORD vk : kModifierKeys) modifiers_down += GetAsyncKeyState(vk) < 0;
  const long long growth = static_cast<long long>(bytes_after) -
                           static_cast<long long>(bytes_before);
  const Typist::Figures& acted = typist.figures();
  std::printf(
      "%s: %.1f s, %d physical keys, %zu calls sent, %zu replies (%zu "
      "success, %zu not implemented, %zu cancels without a stream), "
      "%zu events\n",
      who, (GetTickCount64() - started) / 1000.0, typist.strokes(), tally.sent,
      tally.replies, tally.success, tally.not_implemented, tally.cancel_errors,
      application.events);
  std::printf(
      "%s: unanswered %zu, answered twice %zu, wrong answers %zu; "
      "modifiers still down %d, watchdog repairs %zu\n",
      who, tally.unanswered, tally.twice, tally.wrong, modifiers_down,
      application.watchdog_repairs);
  std::printf(
      "%s: keys in the wrong window %d; Return Shift states wrong %d; focus "
      "faults %d\n",
      who, wrong_window, shift_states_wrong, acted.focus_faults);
  if (stress) {
    std::printf(
        "stress: plain call worst %.1f ms over %zu probes, %zu over "
        "%lld ms, %zu unanswered for %d s\n",
        application.worst_probe_us / 1000.0, probes, late_probes,
        static_cast<long long>(kPlainCallLimitUs / 1000), stalled_probes,
        kStalledMs / 1000);
  } else {
    std::printf(
        "soak: %d words replaced, %d refused (a reply false); typed %d "
        "switches, %d Shift+Enters, %d modifier taps, %d fast bursts\n",
        replaced, refused, acted.switches, acted.shift_enters,
        acted.modifier_taps, acted.bursts);
  }
  std::printf("%s: longest served call %.1f ms, \"%.31s\" on %s\n", who,
              tally.slowest_us / 1000.0, tally.slowest.what,
              kChannels[tally.slowest.channel]);
  std::printf(
      "%s: host private bytes %zu after warm-up, %zu at the end "
      "(%+lld)\n",
      who, bytes_before, bytes_after, growth);
  const int injected_differences =
      stress ? Report("stress injected text", injected_expected, injected) : 0;
  const bool clean = tally.unanswered + tally.twice + tally.wrong +
                             application.watchdog_repairs + modifiers_down +
                             typed_differences + wrong_window +
                             shift_states_wrong + acted.focus_faults +
                             injected_differences + stalled_probes ==
                         0 &&
                     typist.ok() && typist.strokes() > 0 &&
                     (stress ? growth < kAllowedGrowthBytes : replaced > 0);
  return clean ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const bool stress = argc > 1 && std::wcscmp(argv[1], L"--stress") == 0;
  if (!stress && (argc < 2 || std::wcscmp(argv[1], L"--soak") != 0)) {
    std::printf(
        "usage: long_run --soak [--keys N] [--delay MS] [--seed S]\n"
        "       long_run --stress [--seconds N] [--seed S]\n");
    return 2;
  }
  std::map<std::wstring, int> options = {{L"--keys", 1000},
                                         {L"--delay", 15},
                                         {L"--seconds", 10},
                                         {L"--seed", 20261206}};
  for (int i = 2; i + 1 < argc; i += 2) options[argv[i]] = _wtoi(argv[i + 1]);
  // The client wrapper reports every undecodable message on std::cerr, as
  // the published one does: tens of thousands of expected lines here.
  std::cerr.rdbuf(nullptr);

  // The soak switches between two targets.
  SoakTarget first(L"korvex-soak-1");
  std::unique_ptr<SoakTarget> second;
  if (!stress) second = std::make_unique<SoakTarget>(L"korvex-soak-2");
  std::vector<SoakTarget*> targets = {&first};
  if (second) targets.push_back(second.get());
  KeyboardHarness host;  // the runner and its services in this process
  if (!first.ready() || (second && !second->ready()) || !host.runner()) {
    std::printf("no target window or no host\n");
    return 2;
  }
  first.Focus();
  int code = 1;
  host.RunApp([&](AppMessenger& app) {
    code =
        LongRun(app, host, targets, stress, options[L"--keys"],
                options[L"--delay"], options[L"--seconds"], options[L"--seed"]);
  });
  return code;
}
