// Hostile input on every channel. A host runs in this process; this program
// plays the application and, for a bounded time, sends anything on all five
// channels: real and random method names with arguments of every kind and
// shape, raw malformed bytes, and listen/cancel storms on both streams,
// while xdotool types physical keys into a second program's editor. Then,
// in a phase of their own, the injecting methods with small arguments of
// the same shapes. Reports calls sent, replies, the worst reply to a plain
// call, and the host's private bytes.
//
//   channel_stress.exe [--seconds N] [--seed S]
// Exit code 0 when every call was answered once and as allowed, no plain
// call went unanswered for seconds, private bytes did not grow, the
// watchdog never fired, and the editor received both phases' text whole
// and in order. Reply times are shown, not judged.

#include <flutter/encodable_value.h>
#include <flutter/method_result_functions.h>
#include <flutter/standard_method_codec.h>
#include <flutter_app/app_messenger.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <functional>
#include <iostream>
#include <iterator>
#include <limits>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

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
const char* const kArgumentKeys[] = {"text",    "count",   "id",  "enabled",
                                     "samples", "path",    "name"};
// Sample names stay few: the cache keeps one sound per name by design.
const char* const kSampleNames[] = {"00000409", "00000419", "click", ""};

// The reply time a plain call is meant to keep to; shown, not judged: on a
// shared machine any thread can wait longer than that for a core.
constexpr int64_t kPlainCallLimitUs = 100000;
// A plain call unanswered this long is a host that no longer serves.
constexpr int kStalledMs = 5000;
// Heap pages a run may leave committed without growing.
constexpr size_t kAllowedGrowthBytes = 1 << 20;

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::GetInstance();
}

int64_t Elapsed(int64_t since_us) { return NowUs() - since_us; }

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
    const size_t length = Length(allow_huge);
    std::string text(length, 'x');
    const int style = Below(3);
    for (char& c : text) {
      c = style == 0 ? static_cast<char>('a' + Below(26))
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

  EncodableValue Integer() {
    static const int64_t edges[] = {0,
                                    1,
                                    -1,
                                    2,
                                    (int64_t{1} << 32) + 2,
                                    std::numeric_limits<int32_t>::max(),
                                    std::numeric_limits<int32_t>::min(),
                                    std::numeric_limits<int64_t>::max(),
                                    std::numeric_limits<int64_t>::min()};
    const int64_t value = Chance(50) ? edges[Below(9)]
                                     : static_cast<int64_t>(Next());
    if (Chance(50)) {
      return EncodableValue(static_cast<int32_t>(value));
    }
    return EncodableValue(value);
  }

  EncodableValue Value(int depth, bool allow_huge) {
    switch (Below(depth > 3 ? 11 : 14)) {
      case 0: return EncodableValue();
      case 1: return EncodableValue(Chance(50));
      case 2:
      case 3: return Integer();
      case 4: {
        static const double doubles[] = {
            0.0, -0.0, 1.5, std::numeric_limits<double>::quiet_NaN(),
            std::numeric_limits<double>::infinity(), 1e308};
        return EncodableValue(doubles[Below(6)]);
      }
      case 5:
      case 6: return EncodableValue(Text(allow_huge));
      case 7: return EncodableValue(ByteList(allow_huge));
      case 8: return EncodableValue(std::vector<int32_t>(Length(false), -7));
      case 9: return EncodableValue(std::vector<int64_t>(Length(false), 1));
      case 10: {
        if (Chance(50)) return EncodableValue(std::vector<double>(Below(9), 2.5));
        return EncodableValue(std::vector<float>(Below(9), 0.5f));
      }
      case 11: {
        EncodableList list;
        for (int i = Below(5); i > 0; --i) list.push_back(Value(depth + 1, false));
        return EncodableValue(std::move(list));
      }
      default: {
        // Keys of any kind, not only strings.
        EncodableMap map;
        for (int i = Below(5); i > 0; --i) {
          map[Value(depth + 1, false)] = Value(depth + 1, false);
        }
        return EncodableValue(std::move(map));
      }
    }
  }

  // Lists in lists, about as deep as the codec takes or deeper.
  EncodableValue Deep() {
    EncodableValue value(EncodableList{});
    for (int i = 200 + Below(120); i > 0; --i) {
      value = Chance(50) ? EncodableValue(EncodableList{std::move(value)})
                         : EncodableValue(EncodableMap{
                               {EncodableValue("text"), std::move(value)}});
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
      const char* key = kArgumentKeys[Below(7)];
      arguments[EncodableValue(key)] =
          std::string(key) == "samples" && Chance(70) ? Samples()
                                                      : Value(1, true);
    }
    if (Chance(20)) arguments[Value(2, false)] = Value(2, false);
    return EncodableValue(std::move(arguments));
  }

  std::string MethodName() {
    const int roll = Below(100);
    if (roll < 65) return kMethodNames[Below(std::size(kMethodNames))];
    if (roll < 80) {
      // A real name in other letter case.
      std::string name = kMethodNames[Below(std::size(kMethodNames))];
      name[0] = static_cast<char>(toupper(name[0]));
      return name;
    }
    return Text(Chance(5));
  }

  Bytes Call(const std::string& method, const EncodableValue& arguments) {
    flutter::MethodCall<EncodableValue> call(
        method, std::make_unique<EncodableValue>(arguments));
    return *Codec().EncodeMethodCall(call);
  }

  // Bytes no encoder would write.
  Bytes Malformed() {
    Bytes bytes = Call(MethodName(), Arguments());
    switch (Below(6)) {
      case 0:
        return ByteList(false);
      case 1:
        bytes.resize(Below(static_cast<int>(bytes.size())));
        return bytes;
      case 2:
        for (int i = 1 + Below(4); i > 0; --i) {
          bytes[Below(static_cast<int>(bytes.size()))] =
              static_cast<uint8_t>(Next());
        }
        return bytes;
      case 3:
        for (int i = 1 + Below(8); i > 0; --i) bytes.push_back(static_cast<uint8_t>(Next()));
        return bytes;
      case 4: {
        // A string, then a list, that claim more than there is.
        Bytes lying = {7, 254, 0xFF, 0xFF, 'a', 12, 255, 0xFF, 0xFF, 0xFF, 0x7F};
        lying.resize(Below(static_cast<int>(lying.size()) + 1));
        return lying;
      }
      default: {
        // Unknown type tags where a value belongs.
        Bytes unknown = {7, 4, 'n', 'a', 'm', 'e', static_cast<uint8_t>(14 + Below(242))};
        return unknown;
      }
    }
  }

 private:
  std::mt19937_64 random_;
};

enum class Kind { kNone, kSuccess, kError, kNotImplemented, kMalformed };

// Fixed size and made before the run: the record of the calls must not
// show as the host's memory growing.
struct Call {
  int channel = 0;
  char what[32] = {};        // the method, or "(raw)", cut short
  Kind expected = Kind::kNone;  // on a stream: the one right answer
  Kind kind = Kind::kNone;
  int replies = 0;
  size_t bytes = 0;
  int64_t sent_us = 0;
  int64_t reply_us = 0;
};

// A stream call must get its one foreseen answer; a method call success or
// "not implemented"; any call exactly one reply.
bool Wrong(const Call& call) {
  if (call.replies != 1) return call.replies > 1;
  if (call.channel < kStreamCount) return call.kind != call.expected;
  return call.kind != Kind::kSuccess && call.kind != Kind::kNotImplemented;
}

Kind DecodeKind(const uint8_t* data, size_t size) {
  if (size == 0) {
    return Kind::kNotImplemented;
  }
  Kind kind = Kind::kMalformed;
  flutter::MethodResultFunctions<EncodableValue> result(
      [&](const EncodableValue*) { kind = Kind::kSuccess; },
      [&](const std::string&, const std::string&, const EncodableValue*) {
        kind = Kind::kError;
      },
      [&] { kind = Kind::kNotImplemented; });
  if (!Codec().DecodeAndProcessResponseEnvelope(data, size, &result)) {
    return Kind::kMalformed;
  }
  return kind;
}

// The application's side, on its own thread, with the messenger's C API:
// each call's reply lands in a slot that outlives the run, so that a second
// reply is counted rather than freed twice.
class Application {
 public:
  Application(AppMessenger& app, size_t capacity)
      : app_(app), calls_(capacity) {
    for (int i = 0; i < kStreamCount; ++i) {
      FlutterDesktopAppMessengerSetCallback(app_.ref(), kChannels[i], OnEvent,
                                            this);
    }
  }
  ~Application() {
    for (int i = 0; i < kStreamCount; ++i) {
      FlutterDesktopAppMessengerSetCallback(app_.ref(), kChannels[i], nullptr,
                                            nullptr);
    }
  }

  Call* Send(int channel, const Bytes& message, const std::string& what) {
    if (used_ == calls_.size()) {
      return nullptr;
    }
    Call* call = &calls_[used_++];
    call->channel = channel;
    what.copy(call->what, sizeof(call->what) - 1);
    call->bytes = message.size();
    if (channel < kStreamCount) {
      call->expected = StreamAnswer(channel, message);
    }
    call->sent_us = NowUs();
    if (!FlutterDesktopAppMessengerSend(app_.ref(), kChannels[channel],
                                        message.empty() ? nullptr : message.data(),
                                        message.size(), OnReply, call)) {
      call->replies = -1;  // refused: the engine is going
    }
    return call;
  }

  // A plain call, waited for; its reply time.
  int64_t Probe() {
    static const Bytes probe =
        Hostile(0).Call("clipboardChangeCount", EncodableValue());
    Call* call = Send(kAutomation, probe, "clipboardChangeCount");
    if (!call) {
      return 0;
    }
    app_.RunUntil([call] { return call->replies != 0; }, kStalledMs);
    const int64_t took = call->replies > 0 ? call->reply_us - call->sent_us
                                           : Elapsed(call->sent_us);
    if (took > worst_probe_us_) worst_probe_us_ = took;
    return took;
  }

  bool WaitForAllReplies(int timeout_ms) {
    return app_.RunUntil([this] { return Unanswered() == 0; }, timeout_ms);
  }

  bool full() const { return used_ == calls_.size(); }

  size_t Unanswered() const {
    size_t count = 0;
    for (size_t i = 0; i < used_; ++i) count += calls_[i].replies == 0;
    return count;
  }

  bool listening(int stream) const { return listening_[stream]; }

  struct Tally {
    size_t sent = 0, replies = 0, unanswered = 0, twice = 0, success = 0,
           not_implemented = 0, cancel_errors = 0, wrong = 0;
    // The longest the host spent on one call: from its arrival, or the
    // reply before it, to its own reply (the host serves them in order).
    Call slowest;
    int64_t slowest_us = 0;
  };

  Tally Count() const {
    Tally t;
    int64_t previous_reply_us = 0;
    for (size_t i = 0; i < used_; ++i) {
      const Call& call = calls_[i];
      ++t.sent;
      t.replies += call.replies > 0 ? call.replies : 0;
      t.unanswered += call.replies <= 0;
      t.twice += call.replies > 1;
      if (call.replies <= 0) continue;
      t.success += call.kind == Kind::kSuccess;
      t.not_implemented += call.kind == Kind::kNotImplemented;
      // The stream protocol's own answer to a cancel with nothing to cancel.
      t.cancel_errors += call.channel < kStreamCount &&
                         call.kind == Kind::kError &&
                         call.expected == Kind::kError;
      t.wrong += call.replies == 1 && Wrong(call);
      // The injecting methods answer once their input was sent.
      const int64_t served_us =
          call.reply_us - (call.sent_us > previous_reply_us ? call.sent_us
                                                            : previous_reply_us);
      previous_reply_us = call.reply_us;
      if (!IsInjecting(call.what) && served_us > t.slowest_us) {
        t.slowest = call;
        t.slowest_us = served_us;
      }
    }
    return t;
  }

  void PrintWrong() const {
    int shown = 0;
    for (size_t i = 0; i < used_; ++i) {
      const Call& call = calls_[i];
      if (Wrong(call) && shown++ < 10) {
        std::printf("stress: %s \"%.40s\": %d replies, kind %d (expected %d)\n",
                    kChannels[call.channel], call.what, call.replies,
                    static_cast<int>(call.kind), static_cast<int>(call.expected));
      }
    }
  }

  size_t events() const { return events_; }
  size_t watchdog_repairs() const { return watchdog_repairs_; }
  int64_t worst_probe_us() const { return worst_probe_us_; }
  AppMessenger& messenger() { return app_; }

 private:
  // What the stream handler answers, foreseen from the same decoding.
  Kind StreamAnswer(int stream, const Bytes& message) {
    auto call = Codec().DecodeMethodCall(message.empty() ? nullptr : message.data(),
                                         message.size());
    if (!call) return Kind::kNotImplemented;
    if (call->method_name() == "listen") {
      listening_[stream] = true;
      return Kind::kSuccess;
    }
    if (call->method_name() == "cancel") {
      const bool was = listening_[stream];
      listening_[stream] = false;
      return was ? Kind::kSuccess : Kind::kError;
    }
    return Kind::kNotImplemented;
  }

  static void OnReply(const uint8_t* data, size_t size, void* user_data) {
    Call* call = static_cast<Call*>(user_data);
    if (++call->replies == 1) {
      call->reply_us = NowUs();
      call->kind = DecodeKind(data, size);
    }
  }

  static void OnEvent(const char*, const uint8_t* message, size_t size,
                      FlutterDesktopAppResponse* response, void* user_data) {
    auto* self = static_cast<Application*>(user_data);
    ++self->events_;
    if (response) {
      FlutterDesktopAppMessengerSendResponse(self->app_.ref(), response,
                                             nullptr, 0);
      return;
    }
    flutter::MethodResultFunctions<EncodableValue> result(
        [self](const EncodableValue* value) {
          const auto* map = value ? std::get_if<EncodableMap>(value) : nullptr;
          if (map && StringOf(*map, "type") == "diag" &&
              StringOf(*map, "message") == "keyboard hook lost: reinstalled") {
            ++self->watchdog_repairs_;
          }
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
  size_t events_ = 0;
  size_t watchdog_repairs_ = 0;
  int64_t worst_probe_us_ = 0;
};

// One hostile message of any sort; storms are several.
void SendHostile(Application& application, Hostile& hostile) {
  const int roll = hostile.Below(100);
  if (roll < 45) {
    const int channel = hostile.Chance(60) ? kAutomation : hostile.Below(5);
    const std::string method = hostile.MethodName();
    application.Send(channel, hostile.Call(method, hostile.Arguments()), method);
  } else if (roll < 70) {
    application.Send(hostile.Below(5), hostile.Malformed(), "(raw)");
  } else if (roll < 88) {
    for (int i = 2 + hostile.Below(11); i > 0; --i) {
      const int stream = hostile.Below(kStreamCount);
      const char* method = hostile.Chance(50) ? "listen" : "cancel";
      application.Send(stream, hostile.Call(method, hostile.Value(1, false)),
                       method);
    }
  } else {
    const std::string method = kMethodNames[hostile.Below(std::size(kMethodNames))];
    application.Send(hostile.Below(5), hostile.Call(method, hostile.Deep()),
                     method);
  }
}

// Physical keys into the second program, chunk after chunk, until told to
// stop; what the editor must show for them.
class Typist {
 public:
  explicit Typist(uint64_t seed) : random_(seed) {}

  void Run(const std::atomic<bool>& stop) {
    while (!stop && ok_) {
      std::string keys;
      std::wstring text;
      for (int i = 0; i < 20; ++i) {
        const int roll = static_cast<int>(random_() % 100);
        const char letter = static_cast<char>('a' + random_() % 26);
        if (roll < 70) {
          keys += std::string(" ") + letter;
          text += static_cast<wchar_t>(letter);
        } else if (roll < 78) {
          keys += std::string(" shift+") + letter;
          text += static_cast<wchar_t>(letter - 'a' + 'A');
        } else if (roll < 90) {
          keys += " space";
          text += L' ';
        } else if (roll < 95) {
          keys += " Return";
          text += L"\r\n";
        } else {
          keys += " Tab";
          text += L'\t';
        }
      }
      ok_ = Xdo("key --delay 15" + keys);
      std::lock_guard<std::mutex> lock(mutex_);
      expected_ += text;
      strokes_ += 20;
    }
  }

  std::wstring expected() {
    std::lock_guard<std::mutex> lock(mutex_);
    return expected_;
  }
  int strokes() const { return strokes_; }
  bool ok() const { return ok_; }

 private:
  std::mt19937_64 random_;
  std::mutex mutex_;
  std::wstring expected_;
  std::atomic<int> strokes_{0};
  std::atomic<bool> ok_{true};
};

EncodableValue Map(const char* key, EncodableValue value) {
  return EncodableValue(EncodableMap{{EncodableValue(key), std::move(value)}});
}

// The injecting methods with small arguments of every shape, in call
// order; what they leave in an empty editor.
std::wstring SendInjecting(Application& application, Hostile& hostile,
                           int count) {
  std::wstring text;
  auto erase = [&text](int n) {
    while (n-- > 0 && !text.empty()) text.pop_back();
  };
  for (int i = 0; i < count; ++i) {
    std::string method;
    EncodableValue arguments;
    switch (hostile.Below(10)) {
      case 0:
      case 1:
      case 2: {
        std::string word;
        for (int n = 1 + hostile.Below(5); n > 0; --n) {
          word += static_cast<char>('a' + hostile.Below(26));
        }
        method = "typeText";
        EncodableMap map{{EncodableValue("text"), EncodableValue(word)}};
        if (hostile.Chance(30)) map[EncodableValue(int32_t{7})] = EncodableValue("x");
        arguments = EncodableValue(std::move(map));
        text += std::wstring(word.begin(), word.end());
        break;
      }
      case 3: {
        // Not a string, or not a map: nothing is typed.
        method = "typeText";
        arguments = hostile.Chance(50)
                        ? Map("text", EncodableValue(int64_t{65}))
                        : EncodableValue(EncodableList{EncodableValue("text"),
                                                       EncodableValue("no")});
        break;
      }
      case 4:
      case 5: {
        const int n = hostile.Below(3);
        method = "backspace";
        arguments = hostile.Chance(50)
                        ? Map("count", EncodableValue(int32_t{n}))
                        : Map("count", EncodableValue((int64_t{1} << 32) + n));
        erase(n);
        break;
      }
      case 6: {
        method = "backspace";
        static const EncodableValue nothing[] = {
            EncodableValue(), EncodableValue("2"), EncodableValue(2.0),
            EncodableValue(int32_t{-3})};
        arguments = Map("count", nothing[hostile.Below(4)]);
        break;
      }
      case 7:
        // Nothing is selected: nothing changes.
        method = "copy";
        arguments = hostile.Value(2, false);
        break;
      default:
        method = "paste";
        arguments = hostile.Value(2, false);
        text += L"clip";
        break;
    }
    application.Send(kAutomation, hostile.Call(method, arguments), method);
  }
  return text;
}

// Waits for the editor to hold still for a second.
std::wstring SettledText(Application& application, SoakTarget& target,
                         int at_least_ms) {
  std::wstring text, last;
  const ULONGLONG start = GetTickCount64();
  ULONGLONG changed_at = start;
  Poll(application.messenger(), [&] {
    text = target.Text();
    if (text != last) {
      last = text;
      changed_at = GetTickCount64();
    }
    const ULONGLONG now = GetTickCount64();
    return now - changed_at >= 1000 && now - start >= static_cast<ULONGLONG>(at_least_ms);
  }, 30000);
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int seconds = 10;
  uint64_t seed = 20261206;
  // The client wrapper reports every undecodable message on std::cerr, as
  // the published one does: tens of thousands of expected lines here.
  std::cerr.rdbuf(nullptr);
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::wcscmp(argv[i], L"--seconds") == 0) seconds = _wtoi(argv[++i]);
    else if (std::wcscmp(argv[i], L"--seed") == 0) seed = _wtoi(argv[++i]);
  }
  SoakTarget target;
  KeyboardHarness host;  // the runner and its services in this process
  if (!target.ready() || !host.runner()) {
    std::printf("stress: no target window or no host\n");
    return 2;
  }
  target.Focus();

  Typist typist(seed + 1);
  std::wstring typed, received, injected_expected, injected;
  Application::Tally tally;
  size_t bytes_before = 0, bytes_after = 0, events = 0, repairs = 0;
  int64_t worst_probe_us = 0;
  size_t probes = 0, late_probes = 0, stalled_probes = 0;
  const ULONGLONG started = GetTickCount64();
  host.RunApp([&](AppMessenger& app) {
    // Room for what a run sends at the rate seen here, and then some.
    Application application(app, 4000 * static_cast<size_t>(seconds) + 20000);
    Hostile hostile(seed);
    std::atomic<bool> stop{false};
    std::thread typing([&] { typist.Run(stop); });

    const ULONGLONG warm_until = GetTickCount64() + 1500;
    const ULONGLONG end = GetTickCount64() + seconds * 1000ULL;
    while (GetTickCount64() < end && !application.full()) {
      for (int i = 1 + hostile.Below(8); i > 0; --i) {
        SendHostile(application, hostile);
      }
      ++probes;
      const int64_t took = application.Probe();
      late_probes += took > kPlainCallLimitUs;
      stalled_probes += took >= kStalledMs * int64_t{1000};
      if (!bytes_before && GetTickCount64() >= warm_until) {
        bytes_before = PrivateBytes();
      }
    }
    stop = true;
    HANDLE joined = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread joiner([&] {
      typing.join();
      SetEvent(joined);
    });
    Poll(app, [&] { return WaitForSingleObject(joined, 0) == WAIT_OBJECT_0; },
         60000);
    joiner.join();
    CloseHandle(joined);

    // Held and captured keys go out, the hooks go; then the editor settles.
    auto send = [&](const char* method, EncodableValue arguments) {
      application.Send(kAutomation, hostile.Call(method, arguments), method);
    };
    send("setHoldWordEnd", Map("enabled", EncodableValue(false)));
    send("setTypingCapture", Map("enabled", EncodableValue(false)));
    for (int stream = 0; stream < kStreamCount; ++stream) {
      if (application.listening(stream)) {
        application.Send(stream, hostile.Call("cancel", EncodableValue()), "cancel");
      }
    }
    application.WaitForAllReplies(30000);
    typed = typist.expected();
    received = SettledText(application, target, 2500);

    // The injecting methods, alone, into an empty editor with the hooks in.
    target.Clear();
    application.Send(0, hostile.Call("listen", EncodableValue()), "listen");
    send("writeClipboardText", Map("text", EncodableValue("clip")));
    injected_expected = SendInjecting(application, hostile, 30);
    application.WaitForAllReplies(60000);
    injected = SettledText(application, target, 0);
    application.Send(0, hostile.Call("cancel", EncodableValue()), "cancel");
    application.WaitForAllReplies(10000);

    bytes_after = PrivateBytes();
    tally = application.Count();
    events = application.events();
    repairs = application.watchdog_repairs();
    worst_probe_us = application.worst_probe_us();
    if (tally.wrong + tally.twice > 0) application.PrintWrong();
  }, (seconds + 180) * 1000);
  const double took = (GetTickCount64() - started) / 1000.0;

  const Diff typed_diff = Compare(typed, received);
  const Diff injected_diff = Compare(injected_expected, injected);
  const long long growth =
      static_cast<long long>(bytes_after) - static_cast<long long>(bytes_before);
  std::printf("stress: %.1f s, %zu calls sent, %zu replies (%zu success, %zu "
              "not implemented, %zu cancels without a stream), %zu events\n",
              took, tally.sent, tally.replies, tally.success,
              tally.not_implemented, tally.cancel_errors, events);
  std::printf("stress: unanswered %zu, answered twice %zu, wrong answers %zu\n",
              tally.unanswered, tally.twice, tally.wrong);
  std::printf("stress: plain call worst %.1f ms over %zu probes, %zu over "
              "%lld ms, %zu unanswered for %d s\n",
              worst_probe_us / 1000.0, probes, late_probes,
              static_cast<long long>(kPlainCallLimitUs / 1000), stalled_probes,
              kStalledMs / 1000);
  std::printf("stress: longest served call %.1f ms, \"%.40s\" on %s\n",
              tally.slowest_us / 1000.0, tally.slowest.what,
              kChannels[tally.slowest.channel]);
  std::printf("stress: host private bytes %zu after warm-up, %zu at the end (%+lld)\n",
              bytes_before, bytes_after, growth);
  std::printf("stress: %d physical keys: lost %d, doubled %d, reordered %d, "
              "other %d; watchdog repairs %zu\n",
              typist.strokes(), typed_diff.lost, typed_diff.doubled,
              typed_diff.reordered, typed_diff.other, repairs);
  std::printf("stress: injected text %zu units: lost %d, doubled %d, "
              "reordered %d, other %d\n",
              injected_expected.size(), injected_diff.lost,
              injected_diff.doubled, injected_diff.reordered,
              injected_diff.other);
  if (typed_diff.total() > 0) PrintFirstDifference("stress typed", typed, received);
  if (injected_diff.total() > 0) {
    PrintFirstDifference("stress injected", injected_expected, injected);
  }
  const bool clean = tally.unanswered + tally.twice + tally.wrong + stalled_probes +
                             typed_diff.total() + injected_diff.total() + repairs ==
                         0 &&
                     typist.ok() && typist.strokes() > 0 &&
                     growth < static_cast<long long>(kAllowedGrowthBytes);
  return clean ? 0 : 1;
}
