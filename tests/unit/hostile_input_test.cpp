// What hostile input on the channels once did to the host, each case found
// by the channel stress test and kept here as it came; and the Unicode
// typing mode, which the first text of a process chooses, in a program
// whose other cases type alike in either mode.

#include <gtest/gtest.h>
#include <windows.h>

#include <flutter/method_result_functions.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "feedback/key_sounds.h"
#include "injection/injection_queue.h"
#include "injection/input_synthesis.h"
#include "keyboard_harness.h"
#include "test_support.h"

namespace {

// Set before any case of the process types.
const bool unicode_mode = SetEnvironmentVariableW(L"KORVEX_UNICODE_TYPE", L"1");

// A mono 8 kHz PCM RIFF/WAVE header over 800 bytes of samples; each case
// makes one of its sizes lie.
#pragma pack(push, 1)
struct WaveHeader {
  char riff[4] = {'R', 'I', 'F', 'F'};
  uint32_t riff_size = 36 + 800;
  char wave_format[8] = {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '};
  uint32_t format_size = 16;
  uint16_t tag = 1, channels = 1;
  uint32_t rate = 8000, byte_rate = 16000;
  uint16_t align = 2, bits = 16;
  char data[4] = {'d', 'a', 't', 'a'};
  uint32_t data_size = 800;
};
#pragma pack(pop)

std::vector<uint8_t> Wave(const WaveHeader& header) {
  std::vector<uint8_t> bytes(sizeof(header) + 800, 0x40);
  std::memcpy(bytes.data(), &header, sizeof(header));
  return bytes;
}

TEST(HostileInputTest, SoundSamplesWhoseSizesLieAreNeitherKeptNorPlayed) {
  KeySoundSamples samples = {
      {"good", Wave({})},
      {"riff", Wave({.riff_size = 0x7FFFFFFF})},
      {"format", Wave({.format_size = 0x7FFFFFF0})},
      {"data", Wave({.data_size = 0x7FFFFFF0})},
      {"bits", Wave({.byte_rate = 12000, .align = 1, .bits = 12})},
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
// a flush (the stream cancelled, the window closing) drops what is still
// unsent after its grace time, says so in the replies, and leaves later
// tasks whole.
TEST(HostileInputTest, FlushDropsInputLeftAfterItsGraceTime) {
  HWND edit = CreateWindowExW(0, L"EDIT", std::wstring(500, L'x').c_str(),
                              WS_POPUP | WS_VISIBLE | ES_AUTOHSCROLL, 0, 0,
                              400, 30, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(edit, nullptr);
  SendMessageW(edit, EM_SETSEL, 500, 500);
  SetForegroundWindow(edit);
  SetFocus(edit);
  test_support::PumpUntil([&] { return GetForegroundWindow() == edit; }, 2000);
  std::vector<std::string> replies;
  auto enqueue = [&replies](InjectionTask task) {
    EnqueueInjection(task, std::make_unique<flutter::MethodResultFunctions<>>(
                               [&replies](const flutter::EncodableValue* sent) {
                                 const bool* flag = std::get_if<bool>(sent);
                                 replies.push_back(flag && *flag ? "sent" : "not sent");
                               },
                               nullptr, nullptr));
  };
  auto text = [edit] {
    test_support::PumpUntil([] { return false; }, 300);
    wchar_t text[8192] = {};
    return std::wstring(text, GetWindowTextW(edit, text, 8192));
  };

  // Paced, so that the edit has few keys to take afterwards.
  enqueue([](const InjectionContext&) {
    return TypeText(std::wstring(1 << 20, L'w'), 50, false) &&
           SendBackspaces(INT_MAX, 50);
  });
  enqueue([](const InjectionContext&) { return TypeText(L"late", 0, false); });
  Sleep(200);
  const ULONGLONG start = GetTickCount64();
  FlushInjectionQueue();
  EXPECT_LT(GetTickCount64() - start, kFlushGraceMs + 10000);
  EXPECT_EQ(replies, (std::vector<std::string>{"not sent", "not sent"}));
  const std::wstring left = text();
  ASSERT_GT(left.size(), 500u);
  EXPECT_EQ(left, std::wstring(500, L'x') + std::wstring(left.size() - 500, L'w'));

  replies.clear();
  enqueue([](const InjectionContext&) { return TypeText(L"ok", 0, false); });
  FlushInjectionQueue();
  EXPECT_EQ(replies, std::vector<std::string>{"sent"});
  EXPECT_EQ(text(), left + L"ok");
  DestroyWindow(edit);
}

TEST(HostileInputTest, UnicodeModeSendsEveryUnitAsAUnicodeEventAndIsReadOnce) {
  ASSERT_TRUE(unicode_mode);
  test_support::KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const auto seen = h.Inject([] {
    TypeText(L"ab", 0, false);
    // Changing the variable later changes nothing.
    SetEnvironmentVariableW(L"KORVEX_UNICODE_TYPE", L"0");
    TypeText(L"c", 0, false);
  });
  // Letters the layout has keys for still go as Unicode events.
  const wchar_t units[] = L"aabbcc";
  ASSERT_EQ(seen.size(), 6u);
  for (size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].vk, static_cast<DWORD>(VK_PACKET));
    EXPECT_EQ(seen[i].scan, static_cast<DWORD>(units[i]));
  }
  EXPECT_EQ(h.EditText(), L"abc");
}

}  // namespace
