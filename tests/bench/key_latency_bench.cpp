// Latency from a physical key press (xdotool) to its record on the
// application's thread, split into what Wine itself takes to deliver the
// key to the low-level hooks (from the X event's time stamp to the first
// hook's call) and what the host adds after that (from the first hook's call
// to the record arriving on the application's thread). A hook of this
// program's own, installed after the host's and so called first, stamps each
// key. Prints median and 99th percentile of each.

#include <flutter/encodable_value.h>
#include <flutter_app/app_messenger.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "keyboard_harness.h"

using namespace test_support;

namespace {

constexpr int kKeys = 400;

std::mutex stamps_mutex;
std::vector<int64_t> hook_us;        // first hook's call, per key-down
std::vector<int64_t> wine_delivery;  // ms from the event's time stamp

LRESULT CALLBACK StampKeys(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && wparam == WM_KEYDOWN) {
    const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
    if (!(event->flags & LLKHF_INJECTED)) {
      std::lock_guard<std::mutex> lock(stamps_mutex);
      hook_us.push_back(NowUs());
      wine_delivery.push_back(static_cast<int64_t>(
          static_cast<int32_t>(GetTickCount() - event->time)));
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void Report(const char* what, std::vector<double> values, const char* unit) {
  if (values.empty()) {
    std::printf("  %-40s no samples\n", what);
    return;
  }
  std::sort(values.begin(), values.end());
  const double median = values[values.size() / 2];
  const double p99 = values[std::min(values.size() - 1, values.size() * 99 / 100)];
  std::printf("  %-40s median %8.3f %s, p99 %8.3f %s\n", what, median, unit,
              p99, unit);
}

}  // namespace

int main() {
  KeyboardHarness host;
  if (!host.ready()) {
    std::printf("latency: no host or no focus\n");
    return 1;
  }
  std::vector<int64_t> arrival_us;
  HHOOK stamp = nullptr;
  host.RunApp([&](flutter_app::AppMessenger& app) {
    app.Listen("korvex/key_events", flutter::EncodableValue(),
               [&](const flutter_app::Event& event) {
                 const auto* map = std::get_if<flutter::EncodableMap>(&event.value);
                 if (map && StringOf(*map, "type") == "keyDown") {
                   arrival_us.push_back(NowUs());
                 }
               });
    // Installed after the host's hooks, so the system calls it first.
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
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::thread typist([&] {
      for (size_t at = 0; at < keys.size(); at += 100) {
        Xdo("key --delay 20" + keys.substr(at, 100));
      }
      SetEvent(done);
    });
    Poll(app, [&] { return WaitForSingleObject(done, 0) == 0; }, 300000);
    typist.join();
    CloseHandle(done);
    Poll(app, [&] { return arrival_us.size() >= static_cast<size_t>(kKeys); },
         5000);
    host.OnMain([&] { UnhookWindowsHookEx(stamp); });
    app.Cancel("korvex/key_events");
  }, 3600000);

  std::lock_guard<std::mutex> lock(stamps_mutex);
  const size_t n = std::min(hook_us.size(), arrival_us.size());
  std::vector<double> host_ms, wine_ms, total_ms;
  for (size_t i = 0; i < n; ++i) {
    const double ours = (arrival_us[i] - hook_us[i]) / 1000.0;
    host_ms.push_back(ours);
    wine_ms.push_back(static_cast<double>(wine_delivery[i]));
    total_ms.push_back(ours + wine_delivery[i]);
  }
  std::printf("key press to record, %zu of %d keys (xdotool, 20 ms apart):\n",
              n, kKeys);
  Report("Wine: X event to the first hook (1 ms ticks)", wine_ms, "ms");
  Report("host: first hook to the application", host_ms, "ms");
  Report("total", total_ms, "ms");
  return n == static_cast<size_t>(kKeys) ? 0 : 1;
}
