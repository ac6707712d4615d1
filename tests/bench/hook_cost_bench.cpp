// What one key-down costs the system's input path: KeyboardHookProc with the
// application listening (trace off, and trace on), beside the bare
// ToUnicodeEx translation of the same key, alternated in rounds in one run.
// The events are handed to the hook procedure directly, so that only the
// host's own work is timed. Prints nanoseconds per key-down and the ratios.

#include <flutter/encodable_value.h>
#include <flutter_app/app_messenger.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/capture_log.h"
#include "injection/injection_queue.h"
#include "keyboard/keyboard_hook.h"
#include "keyboard_harness.h"

using namespace test_support;

namespace {

constexpr int kKeys = 2000;
constexpr int kRounds = 7;

double NowNs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart) * 1e9 /
         static_cast<double>(frequency.QuadPart);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// Nanoseconds per key-down of the hook path; the key-ups are not timed.
double HookRound() {
  KBDLLHOOKSTRUCT down = {'A', 0x1E, 0, 0, 0};
  KBDLLHOOKSTRUCT up = {'A', 0x1E, LLKHF_UP, 0, 0};
  double spent = 0;
  for (int i = 0; i < kKeys; ++i) {
    down.time = up.time = static_cast<DWORD>(i * 20);
    const double start = NowNs();
    KeyboardHookProc(HC_ACTION, WM_KEYDOWN, reinterpret_cast<LPARAM>(&down));
    spent += NowNs() - start;
    KeyboardHookProc(HC_ACTION, WM_KEYUP, reinterpret_cast<LPARAM>(&up));
  }
  return spent / kKeys;
}

double TranslationRound() {
  BYTE state[256] = {};
  const HKL layout = GetKeyboardLayout(0);
  wchar_t buffer[8];
  const double start = NowNs();
  for (int i = 0; i < kKeys; ++i) {
    ToUnicodeEx('A', 0x1E, state, buffer, 8, 0, layout);
  }
  return (NowNs() - start) / kKeys;
}

// The system calls a key-down must make whatever the host does around them:
// passing the event on, finding the foreground thread's layout, posting the
// key click. Under Wine each is a round trip to its server, which dwarfs the
// rest, so the host's own share is reported beside this floor.
double SystemCallsRound() {
  KBDLLHOOKSTRUCT down = {'A', 0x1E, 0, 0, 0};
  const HWND sink = EnsureInjectionWindow();
  const double start = NowNs();
  for (int i = 0; i < kKeys; ++i) {
    CallNextHookEx(nullptr, HC_ACTION, WM_KEYDOWN, reinterpret_cast<LPARAM>(&down));
    const HWND foreground = GetForegroundWindow();
    GetKeyboardLayout(foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0);
    PostMessageW(sink, WM_NULL, 0, 0);  // ignored by the window
  }
  return (NowNs() - start) / kKeys;
}

// One record handed to the engine for the application's thread, as every
// key-down's record is (a "diag" record stands in for it).
double RecordRound() {
  const double start = NowNs();
  for (int i = 0; i < kKeys; ++i) {
    EmitDiag("x");
  }
  return (NowNs() - start) / kKeys;
}

}  // namespace

int main() {
  KeyboardHarness host;
  if (!host.runner()) {
    std::printf("hook cost: no host\n");
    return 1;
  }
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"korvex-hook-bench";
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
          record_sends.push_back(RecordRound());
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
    Poll(app, [&] { return records >= 3u * kKeys * kRounds; }, 10000);
    app.Cancel("korvex/key_events");
  }, 3600000);
  DeleteFileW((folder + L"\\korvex_capture.log").c_str());

  const double translation = Median(bare);
  const double calls = Median(floor_calls);
  const double sends = Median(record_sends);
  const double off = Median(hook_off);
  const double on = Median(hook_on);
  std::printf("key-down, median of %d rounds of %d keys:\n", kRounds, kKeys);
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
              3 * kKeys * kRounds);
  return 0;
}
