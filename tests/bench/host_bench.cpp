// The host's hot paths, each beside a baseline measured in the same run:
//   hook_cost     a key-down through KeyboardHookProc (trace off and on)
//                 against ToUnicodeEx of the same key
//   key_latency   a physical key press (xdotool) to its record on the
//                 application's thread, beside Wine's own delivery time
//   type_text     TypeText into an edit control against a bare SendInput loop
//   key_sound     an MP3 sample decoded against a WAV stored as it is; a
//                 click against a bare PlaySoundW of the same bytes
//   record_codec  a key record encoded and decoded, against a decode that
//                 copies as the old path did
// usage: host_bench.exe [name]...   (default: all; key_sound reads the
// tests' tone_10s.mp3 from the working folder)

#include <flutter/encodable_value.h>
#include <flutter/standard_codec_serializer.h>
#include <flutter/standard_method_codec.h>
#include <flutter_app/app_messenger.h>
#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/capture_log.h"
#include "common/message_wait.h"
#include "feedback/key_sounds.h"
#include "feedback/wav_decoder.h"
#include "injection/injection_queue.h"
#include "injection/input_synthesis.h"
#include "keyboard/keyboard_hook.h"
#include "keyboard_harness.h"
#include "response_envelope.h"
#include "test_support.h"

using namespace test_support;

namespace {

double NowNs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) * 1e9 /
         static_cast<double>(frequency.QuadPart);
}

// Nanoseconds per run of |work|, over |runs| runs.
template <class Work>
double NsPer(int runs, Work&& work) {
  const double start = NowNs();
  for (int i = 0; i < runs; ++i) work();
  return (NowNs() - start) / runs;
}

double Percentile(std::vector<double> values, int percent) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, values.size() * percent / 100)];
}
double Median(const std::vector<double>& values) {
  return Percentile(values, 50);
}

// Kept observable, so that the work measured is not optimised away.
volatile size_t g_sink = 0;

// --- hook_cost --------------------------------------------------------------
// The events go to the hook procedure directly, so that only the host's own
// work is timed.

constexpr int kHookKeys = 2000;

// Per key-down of the hook path; the key-ups are not timed.
double HookRound() {
  KBDLLHOOKSTRUCT down = {'A', 0x1E, 0, 0, 0};
  KBDLLHOOKSTRUCT up = {'A', 0x1E, LLKHF_UP, 0, 0};
  double spent = 0;
  for (int i = 0; i < kHookKeys; ++i) {
    down.time = up.time = static_cast<DWORD>(i * 20);
    const double start = NowNs();
    KeyboardHookProc(HC_ACTION, WM_KEYDOWN, reinterpret_cast<LPARAM>(&down));
    spent += NowNs() - start;
    KeyboardHookProc(HC_ACTION, WM_KEYUP, reinterpret_cast<LPARAM>(&up));
  }
  return spent / kHookKeys;
}

double TranslationRound() {
  BYTE state[256] = {};
  const HKL layout = GetKeyboardLayout(0);
  wchar_t buffer[8];
  return NsPer(kHookKeys,
               [&] { ToUnicodeEx('A', 0x1E, state, buffer, 8, 0, layout); });
}

// The system calls a key-down must make whatever the host does around them:
// passing the event on, finding the foreground thread's layout, posting the
// key click. Under Wine each is a round trip to its server, which dwarfs the
// rest, so the host's own share is reported beside this floor.
double SystemCallsRound() {
  KBDLLHOOKSTRUCT down = {'A', 0x1E, 0, 0, 0};
  const HWND sink = EnsureInjectionWindow();
  return NsPer(kHookKeys, [&] {
    CallNextHookEx(nullptr, HC_ACTION, WM_KEYDOWN,
                   reinterpret_cast<LPARAM>(&down));
    const HWND foreground = GetForegroundWindow();
    GetKeyboardLayout(
        foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0);
    PostMessageW(sink, WM_NULL, 0, 0);  // ignored by the window
  });
}

void HookCost(KeyboardHarness& host) {
  constexpr int kRounds = 7;
  const std::wstring folder = TempFolder() + L"korvex-hook-bench";
  CreateDirectoryW(folder.c_str(), nullptr);
  std::vector<double> bare, floor_calls, record_sends, hook_off, hook_on;
  std::atomic<bool> done{false};
  size_t records = 0;
  host.RunApp([&](flutter_app::AppMessenger& app) {
    app.Listen("korvex/key_events", flutter::EncodableValue(),
               [&](const flutter_app::Event&) { ++records; });
    std::thread measure([&] {
      host.OnMain([&] {
        for (int round = 0; round < kRounds; ++round) {
          bare.push_back(TranslationRound());
          floor_calls.push_back(SystemCallsRound());
          // One record handed to the engine for the application's thread,
          // as every key-down's record is; a "diag" record stands in.
          record_sends.push_back(NsPer(kHookKeys, [] { EmitDiag("x"); }));
          hook_off.push_back(HookRound());
          OpenCaptureLog(folder);
          hook_on.push_back(HookRound());
          fclose(capture_log);
          capture_log = nullptr;
        }
      });
      done = true;
    });
    // The application keeps taking the records meanwhile.
    Poll(app, [&] { return done.load(); }, 600000);
    measure.join();
    Poll(app, [&] { return records >= 3u * kHookKeys * kRounds; }, 10000);
    app.Cancel("korvex/key_events");
  }, 3600000);
  DeleteFileW((folder + L"\\korvex_capture.log").c_str());

  const double translation = Median(bare), calls = Median(floor_calls),
               sends = Median(record_sends), off = Median(hook_off),
               on = Median(hook_on);
  std::printf("key-down, median of %d rounds of %d keys:\n", kRounds, kHookKeys);
  std::printf("  bare ToUnicodeEx:          %8.0f ns\n", translation);
  std::printf("  KeyboardHookProc, no trace:%8.0f ns  (%.2f x translation; goal <= 2)\n",
              off, off / translation);
  std::printf("  system calls it must make:  %8.0f ns\n", calls);
  std::printf("  one record to the engine:   %8.0f ns\n", sends);
  std::printf("  host's own work, no trace:  %8.0f ns  (%.2f x translation)\n",
              off - calls - sends, (off - calls - sends) / translation);
  std::printf("  KeyboardHookProc, traced:  %8.0f ns  (%.2f x translation)\n", on,
              on / translation);
  std::printf("  records received by the application: %zu of %d\n", records,
              3 * kHookKeys * kRounds);
}

// --- key_latency ------------------------------------------------------------
// A hook of this program's own, installed after the host's and so called
// first, stamps each key: Wine's share is from the X event's time stamp to
// that call, the host's from that call to the record on the application's
// thread.

std::mutex stamps_mutex;
std::vector<int64_t> first_hook_us;
std::vector<double> wine_ms;

LRESULT CALLBACK StampKeys(int code, WPARAM wparam, LPARAM lparam) {
  const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
  if (code == HC_ACTION && wparam == WM_KEYDOWN &&
      !(event->flags & LLKHF_INJECTED)) {
    std::lock_guard<std::mutex> lock(stamps_mutex);
    first_hook_us.push_back(NowUs());
    wine_ms.push_back(static_cast<int32_t>(GetTickCount() - event->time));
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void KeyLatency(KeyboardHarness& host) {
  constexpr int kKeys = 400;
  if (!host.FocusTarget()) {
    std::printf("key latency: the target window has no focus\n");
    return;
  }
  std::vector<int64_t> arrival_us;
  HHOOK stamp = nullptr;
  host.RunApp([&](flutter_app::AppMessenger& app) {
    app.Listen("korvex/key_events", flutter::EncodableValue(),
               [&](const flutter_app::Event& event) {
                 const auto* map = std::get_if<EncodableMap>(&event.value);
                 if (map && StringOf(*map, "type") == "keyDown") {
                   arrival_us.push_back(NowUs());
                 }
               });
    host.OnMain([&] {
      stamp = SetWindowsHookExW(WH_KEYBOARD_LL, StampKeys,
                                GetModuleHandleW(nullptr), 0);
    });
    std::mt19937 random(7);
    std::string keys;
    for (int i = 0; i < kKeys; ++i) {
      keys += ' ';
      keys += static_cast<char>('a' + random() % 26);
    }
    std::atomic<bool> typed{false};
    std::thread typist([&] {
      for (size_t at = 0; at < keys.size(); at += 100) {
        Xdo("key --delay 20" + keys.substr(at, 100));
      }
      typed = true;
    });
    Poll(app, [&] { return typed.load(); }, 300000);
    typist.join();
    Poll(app, [&] { return arrival_us.size() >= static_cast<size_t>(kKeys); },
         5000);
    host.OnMain([&] { UnhookWindowsHookEx(stamp); });
    app.Cancel("korvex/key_events");
  }, 3600000);

  std::lock_guard<std::mutex> lock(stamps_mutex);
  const size_t n = std::min(first_hook_us.size(), arrival_us.size());
  std::vector<double> host_ms, total_ms;
  for (size_t i = 0; i < n; ++i) {
    host_ms.push_back((arrival_us[i] - first_hook_us[i]) / 1000.0);
    total_ms.push_back(host_ms.back() + wine_ms[i]);
  }
  wine_ms.resize(n);
  std::printf("key press to record, %zu of %d keys (xdotool, 20 ms apart):\n",
              n, kKeys);
  const std::pair<const char*, std::vector<double>*> rows[] = {
      {"Wine: X event to the first hook (1 ms ticks)", &wine_ms},
      {"host: first hook to the application", &host_ms},
      {"total", &total_ms}};
  for (const auto& [what, values] : rows) {
    std::printf("  %-45s median %7.3f ms, p99 %7.3f ms\n", what,
                Median(*values), Percentile(*values, 99));
  }
}

// --- type_text --------------------------------------------------------------

// Seconds from the first event sent until the edit holds |chars| units; the
// main thread pumps the edit meanwhile.
double Deliver(KeyboardHarness& host, size_t chars,
               const std::function<void()>& send) {
  host.SetEditText(L"");
  host.FocusTarget();
  const double start = NowNs();
  std::atomic<bool> sent{false};
  ServedThread worker;
  worker.Start([&] {
    send();
    sent = true;
  });
  PumpUntil([&] {
    return sent && GetWindowTextLengthW(host.edit()) >= static_cast<int>(chars);
  }, 120000);
  const double seconds = (NowNs() - start) / 1e9;
  // A sender still at work past the limit needs this thread's hook served.
  worker.Join();
  host.TakeWindowKeys();
  host.TakeSeenKeys();
  return seconds;
}

void TypeTextRate(KeyboardHarness& host) {
  constexpr int kChars = 2000, kRounds = 5;
  std::wstring text;
  std::vector<WORD> keys;  // the bare loop's keys, looked up beforehand
  for (int i = 0; i < kChars; ++i) {
    text += static_cast<wchar_t>(L'a' + i % 26);
    keys.push_back(static_cast<WORD>(VkKeyScanW(text.back()) & 0xFF));
  }
  auto bare = [&] {
    for (WORD vk : keys) {
      INPUT events[2] = {};
      events[0].type = events[1].type = INPUT_KEYBOARD;
      events[0].ki.wVk = events[1].ki.wVk = vk;
      events[1].ki.dwFlags = KEYEVENTF_KEYUP;
      SendInput(2, events, sizeof(INPUT));
    }
  };
  std::vector<double> bare_rates, typed_rates;
  for (int round = 0; round < kRounds; ++round) {
    bare_rates.push_back(kChars / Deliver(host, kChars, bare));
    typed_rates.push_back(
        kChars / Deliver(host, kChars, [&] { TypeText(text, 0, false); }));
  }
  const double bare_rate = Median(bare_rates), typed_rate = Median(typed_rates);
  std::printf("chars per round: %d, rounds: %d (medians)\n", kChars, kRounds);
  std::printf("  bare SendInput loop: %.0f chars/s\n", bare_rate);
  std::printf("  TypeText, delay 0:   %.0f chars/s\n", typed_rate);
  std::printf("  ratio TypeText/bare: %.3f (goal >= 0.9)\n", typed_rate / bare_rate);
}

// --- key_sound --------------------------------------------------------------

void KeySound() {
  std::ifstream file("tone_10s.mp3", std::ios::binary);
  const std::vector<uint8_t> mp3((std::istreambuf_iterator<char>(file)),
                                 std::istreambuf_iterator<char>());
  const auto decoded = DecodeToWav(mp3);
  if (!decoded) {
    std::printf("key sound: cannot decode tone_10s.mp3\n");
    return;
  }
  const std::vector<uint8_t>& wav = *decoded;
  // What setKeySounds spends per sample.
  std::vector<double> decode, store;
  for (int i = 0; i < 15; ++i) {
    decode.push_back(NsPer(1, [&] { DecodeToWav(mp3); }) / 1000);
    store.push_back(NsPer(1, [&] { key_sound_cache["copy"] = wav; }) / 1000);
  }
  std::printf("per sample: MP3 decode %.0f us, WAV stored as is %.1f us, ratio %.0f\n",
              Median(decode), Median(store), Median(decode) / Median(store));
  std::printf("  decoded image: %zu bytes from %zu bytes of MP3\n", wav.size(),
              mp3.size());

  key_sound_cache["04090409"] = wav;
  key_sounds_enabled = true;
  std::vector<double> click, bare;
  for (int i = 0; i < 200; ++i) {
    click.push_back(NsPer(1, [] { PlayLayoutKeySound(0x04090409); }) / 1000);
    bare.push_back(NsPer(1, [&] {
      PlaySoundW(reinterpret_cast<LPCWSTR>(wav.data()), nullptr,
                 SND_ASYNC | SND_NODEFAULT | SND_MEMORY);
    }) / 1000);
  }
  PlaySoundW(nullptr, nullptr, 0);
  // The benchmarks after this one time key-downs without clicks.
  key_sounds_enabled = false;
  key_sound_cache.clear();
  std::printf("click: PlayLayoutKeySound %.1f us, bare PlaySoundW %.1f us, ratio %.2f\n",
              Median(click), Median(bare), Median(click) / Median(bare));
}

// --- record_codec -----------------------------------------------------------

// The old serializer's copies, made the way it made them: every value once
// more as it was read, and every list and map twice.
class CopyingSerializer : public flutter::StandardCodecSerializer {
 protected:
  EncodableValue ReadValueOfType(uint8_t type,
                                 flutter::ByteStreamReader* stream) const override {
    EncodableValue value = StandardCodecSerializer::ReadValueOfType(type, stream);
    if (value.index() == 10 || value.index() == 11) {
      EncodableValue container = stream->failed() ? EncodableValue() : value;
      return stream->failed() ? EncodableValue() : container;
    }
    return stream->failed() ? EncodableValue() : value;
  }
};

EncodableValue Decode(const flutter::StandardCodecSerializer& serializer,
                      const std::vector<uint8_t>& envelope) {
  flutter::internal::ResponseEnvelope decoded;
  flutter::internal::DecodeResponseEnvelope(serializer, envelope.data(),
                                            envelope.size(), &decoded);
  return std::move(decoded.value);
}

void RecordCodec() {
  constexpr int kRecords = 20000, kRounds = 15;
  EncodableMap map;
  for (const char* flag : {"repeat", "control", "shift", "alt", "meta"}) {
    map[EncodableValue(flag)] = EncodableValue(false);
  }
  map[EncodableValue("type")] = EncodableValue("keyDown");
  map[EncodableValue("keycode")] = EncodableValue(int32_t{65});
  map[EncodableValue("scan")] = EncodableValue(int32_t{30});
  map[EncodableValue("chars")] = EncodableValue("a");
  const EncodableValue record(map);
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const auto& serializer = flutter::StandardCodecSerializer::GetInstance();
  const CopyingSerializer copying_serializer;
  const std::vector<uint8_t> envelope = *codec.EncodeSuccessEnvelope(&record);
  if (Decode(serializer, envelope) != record ||
      Decode(copying_serializer, envelope) != record) {
    std::printf("record codec: the record does not survive a round trip\n");
    return;
  }
  std::vector<double> encode, decode, copying;
  for (int round = 0; round < kRounds; ++round) {
    encode.push_back(NsPer(kRecords, [&] {
      g_sink = g_sink + codec.EncodeSuccessEnvelope(&record)->size();
    }));
    decode.push_back(NsPer(kRecords, [&] {
      g_sink = g_sink + Decode(serializer, envelope).index();
    }));
    copying.push_back(NsPer(kRecords, [&] {
      // The application side copied what MethodResult lent it.
      const EncodableValue lent = Decode(copying_serializer, envelope);
      const EncodableValue kept(lent);
      g_sink = g_sink + kept.index();
    }));
  }
  std::printf("key record: %zu bytes as an event envelope; %d records x %d "
              "rounds (medians)\n", envelope.size(), kRecords, kRounds);
  std::printf("  encode:                 %7.0f ns/record\n", Median(encode));
  std::printf("  decode, moving:         %7.0f ns/record\n", Median(decode));
  std::printf("  decode, copying (old):  %7.0f ns/record\n", Median(copying));
  std::printf("  ratio copying/moving:   %7.2f\n", Median(copying) / Median(decode));
}

}  // namespace

int main(int argc, char** argv) {
  const char* const kAll[] = {"record_codec", "key_sound", "type_text",
                              "hook_cost", "key_latency"};
  std::vector<std::string> names(argv + 1, argv + argc);
  if (names.empty()) names.assign(std::begin(kAll), std::end(kAll));
  KeyboardHarness host;
  if (!host.runner()) {
    std::printf("host bench: no host\n");
    return 1;
  }
  for (const std::string& name : names) {
    if (name == "hook_cost") HookCost(host);
    else if (name == "key_latency") KeyLatency(host);
    else if (name == "type_text") TypeTextRate(host);
    else if (name == "key_sound") {
      // Decoded as the product decodes, on a thread in the free apartment,
      // while this thread keeps serving the harness's hook.
      ServedThread decoder;
      if (decoder.Start([] {
            CoInitializeEx(nullptr, COINIT_MULTITHREADED);
            KeySound();
            CoUninitialize();
          })) {
        decoder.Join();
      }
    }
    else if (name == "record_codec") RecordCodec();
    else {
      std::printf("unknown benchmark: %s\n", name.c_str());
      return 2;
    }
    std::fflush(stdout);
  }
  return 0;
}
