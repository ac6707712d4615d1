// What hostile input on the channels once did to the host, each case found
// by the channel stress test and kept here as it came.

#include <gtest/gtest.h>
#include <windows.h>

#include <flutter/method_result_functions.h>

#include <climits>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "feedback/key_sounds.h"
#include "injection/injection_queue.h"
#include "injection/input_synthesis.h"
#include "test_support.h"

namespace {

// |value| in |size| little-endian bytes.
void Put(std::vector<uint8_t>& bytes, uint32_t value, int size) {
  for (int i = 0; i < size; ++i) {
    bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

// A RIFF/WAVE image with the sizes it claims, whatever it holds.
std::vector<uint8_t> Wave(uint32_t riff_size, uint32_t format_size,
                          uint16_t bits, uint32_t data_size, size_t pcm) {
  std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F'};
  Put(bytes, riff_size, 4);
  for (char c : std::string("WAVEfmt ")) bytes.push_back(static_cast<uint8_t>(c));
  Put(bytes, format_size, 4);
  Put(bytes, 1, 2);  // PCM
  Put(bytes, 1, 2);  // mono
  Put(bytes, 8000, 4);
  Put(bytes, 8000 * bits / 8, 4);
  Put(bytes, bits / 8, 2);  // block align
  Put(bytes, bits, 2);
  for (char c : std::string("data")) bytes.push_back(static_cast<uint8_t>(c));
  Put(bytes, data_size, 4);
  bytes.resize(bytes.size() + pcm, 0x40);
  return bytes;
}

TEST(HostileInputTest, SoundSamplesWhoseSizesLieAreNeitherKeptNorPlayed) {
  constexpr uint32_t pcm = 800, riff = 36 + pcm;
  KeySoundSamples samples = {
      {"good", Wave(riff, 16, 16, pcm, pcm)},
      {"riff", Wave(0x7FFFFFFF, 16, 16, pcm, pcm)},
      {"format", Wave(riff, 0x7FFFFFF0, 16, pcm, pcm)},
      {"data", Wave(riff, 16, 16, 0x7FFFFFF0, pcm)},
      {"bits", Wave(riff, 16, 12, pcm, pcm)},
  };
  // An older sound under a lying name goes, as a sample that cannot be
  // decoded does. Only kept ones are ever played: the system's player
  // would read far past a lying image and take the process down with it.
  key_sound_cache["data"] = samples["good"];
  SetKeySounds(false, samples);
  EXPECT_EQ(key_sound_cache.size(), 1u);
  EXPECT_EQ(key_sound_cache.count("good"), 1u);
}

// A text or a backspace count far beyond any real one would type for days:
// a flush
// (the stream cancelled, the window closing) drops what is still unsent
// after its grace time, says so in the replies, and leaves later tasks
// whole.
TEST(HostileInputTest, FlushDropsInputLeftAfterItsGraceTime) {
  HWND edit = CreateWindowExW(0, L"EDIT", L"",
                              WS_POPUP | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0,
                              400, 30, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(edit, nullptr);
  SetWindowTextW(edit, std::wstring(500, L'x').c_str());
  SendMessageW(edit, EM_SETSEL, 500, 500);
  SetForegroundWindow(edit);
  SetFocus(edit);
  test_support::PumpUntil([&] { return GetForegroundWindow() == edit; }, 2000);
  std::vector<std::string> replies;
  auto reply = [&replies] {
    return std::make_unique<flutter::MethodResultFunctions<>>(
        [&replies](auto) { replies.push_back("success"); },
        [&replies](const std::string& code, auto...) {
          replies.push_back(code);
        },
        nullptr);
  };
  auto type = [](const wchar_t* text) {
    return [text](const InjectionContext&) { TypeText(text, 0, false); };
  };
  auto text = [edit] {
    test_support::PumpUntil([] { return false; }, 300);
    std::wstring text(GetWindowTextLengthW(edit) + 1, L'\0');
    text.resize(GetWindowTextW(edit, text.data(), static_cast<int>(text.size())));
    return text;
  };

  // Paced, so that the edit has few keys to take afterwards.
  EnqueueInjection(
      [](const InjectionContext&) {
        TypeText(std::wstring(1 << 20, L'w'), 50, false);
        SendBackspaces(INT_MAX, 50);
      },
      reply());
  EnqueueInjection(type(L"late"), reply());
  Sleep(200);
  const ULONGLONG start = GetTickCount64();
  FlushInjectionQueue();
  EXPECT_LT(GetTickCount64() - start, kFlushGraceMs + 10000);
  EXPECT_EQ(replies, (std::vector<std::string>{"abandoned", "abandoned"}));
  const std::wstring left = text();
  ASSERT_GT(left.size(), 500u);
  EXPECT_EQ(left, std::wstring(500, L'x') + std::wstring(left.size() - 500, L'w'));

  replies.clear();
  EnqueueInjection(type(L"ok"), reply());
  FlushInjectionQueue();
  EXPECT_EQ(replies, std::vector<std::string>{"success"});
  EXPECT_EQ(text(), left + L"ok");
  DestroyWindow(edit);
}

}  // namespace
