// Characters per second that TypeText delivers into an edit control with no
// per-key delay, beside a bare loop of two-event SendInput calls for the same
// characters, measured alternately in one run. Prints both and their ratio.

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "injection/input_synthesis.h"

namespace {

constexpr int kChars = 2000;
constexpr int kRounds = 5;

HWND window;
HWND edit;

void Pump() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Seconds from the first event sent until the edit holds every character.
double Deliver(const std::function<void()>& send) {
  SetWindowTextW(edit, L"");
  SetForegroundWindow(window);
  SetFocus(edit);
  Pump();
  const auto start = std::chrono::steady_clock::now();
  std::atomic<bool> sent{false};
  std::thread worker([&] {
    send();
    sent = true;
  });
  while (!sent || GetWindowTextLengthW(edit) < kChars) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    Pump();
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(120)) {
      break;
    }
  }
  const auto end = std::chrono::steady_clock::now();
  worker.join();
  return std::chrono::duration<double>(end - start).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"KorvexTypeBench";
  RegisterClassW(&window_class);
  window = CreateWindowExW(0, L"KorvexTypeBench", L"type bench",
                           WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 100,
                           nullptr, nullptr, instance, nullptr);
  edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | ES_AUTOHSCROLL,
                         5, 5, 580, 30, window, nullptr, instance, nullptr);
  SendMessageW(edit, EM_SETLIMITTEXT, kChars * 2, 0);

  std::wstring text;
  for (int i = 0; i < kChars; ++i) {
    text += static_cast<wchar_t>(L'a' + i % 26);
  }
  // The bare loop sends the same keys, looked up once beforehand.
  std::vector<WORD> keys;
  for (wchar_t ch : text) {
    keys.push_back(static_cast<WORD>(VkKeyScanW(ch) & 0xFF));
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
  auto typed = [&] { TypeText(text, 0, false); };

  std::vector<double> bare_rates, typed_rates;
  for (int round = 0; round < kRounds; ++round) {
    bare_rates.push_back(kChars / Deliver(bare));
    typed_rates.push_back(kChars / Deliver(typed));
  }
  const double bare_rate = Median(bare_rates);
  const double typed_rate = Median(typed_rates);
  std::printf("chars per round: %d, rounds: %d (medians)\n", kChars, kRounds);
  std::printf("bare SendInput loop: %.0f chars/s\n", bare_rate);
  std::printf("TypeText, delay 0:   %.0f chars/s\n", typed_rate);
  std::printf("ratio TypeText/bare: %.3f (goal >= 0.9)\n", typed_rate / bare_rate);
  DestroyWindow(window);
  return 0;
}
