// Key sounds through the channel: Media Foundation decoding of an MP3 made
// at build time, the cache rules, and the click of a physical key. Wine
// plays nothing here, so what would be played is recorded instead.

#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "feedback/key_sounds.h"
#include "keyboard_harness.h"
#include "layouts/layout_catalogue.h"
#include "test_support.h"

using flutter_app::AppMessenger;
using namespace test_support;
using Bytes = std::vector<uint8_t>;

namespace {

// Sounds are played (and stopped) on the main thread only: read it there.
std::vector<const void*> played;
int stops = 0;

BOOL WINAPI RecordPlay(LPCWSTR sound, HMODULE, DWORD flags) {
  if (!sound) {
    ++stops;
  } else if (flags == (SND_ASYNC | SND_NODEFAULT | SND_MEMORY)) {
    played.push_back(sound);
  }
  return TRUE;
}

// A playable 16-bit PCM image of |size| bytes (44 of them header).
Bytes Riff(size_t size, uint32_t rate = 8000, uint16_t channels = 1) {
  Bytes bytes(size, 7);
  auto put32 = [&](size_t at, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  std::memcpy(bytes.data(), "RIFFxxxxWAVEfmt ", 16);
  put32(4, static_cast<uint32_t>(size - 8));
  put32(16, 16);
  put32(20, 1 | channels << 16);  // PCM
  put32(24, rate);
  put32(28, rate * channels * 2);
  put32(32, channels * 2 | 16 << 16);  // block align, 16 bits
  std::memcpy(bytes.data() + 36, "data", 4);
  put32(40, static_cast<uint32_t>(size > 44 ? size - 44 : 0));
  return bytes;
}

// The same samples in an extensible format block (PCM or IEEE float), as
// recorders write them.
Bytes Extensible(uint16_t sub_format, uint16_t bits) {
  Bytes bytes = Riff(100);
  const uint8_t block[] = {0xFE, 0xFF, 1, 0, 0x40, 0x1F, 0, 0, 0, 0, 0, 0,
                           static_cast<uint8_t>(bits / 8), 0,
                           static_cast<uint8_t>(bits), 0, 22, 0,
                           static_cast<uint8_t>(bits), 0, 4, 0, 0, 0,
                           static_cast<uint8_t>(sub_format), 0, 0, 0, 0, 0,
                           0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
  bytes[16] = sizeof block;
  bytes.insert(bytes.begin() + 20 + 16, block + 16, block + sizeof block);
  std::copy(block, block + 16, bytes.begin() + 20);
  bytes[4] = static_cast<uint8_t>(bytes.size() - 8);
  return bytes;
}

EncodableMap Sounds(bool enabled, EncodableMap samples) {
  return {{EncodableValue("enabled"), EncodableValue(enabled)},
          {EncodableValue("samples"), EncodableValue(std::move(samples))}};
}

}  // namespace

TEST(KeySoundsTest, SamplesAreDecodedAsideStoredOrDropped) {
  const std::string file = ReadFileBytes(ProgramFolder() + L"\\tone_10s.mp3");
  const Bytes mp3(file.begin(), file.end());
  if (mp3.empty()) GTEST_SKIP() << "no test MP3 (lame was missing at build time)";
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  play_sound = RecordPlay;
  const Bytes wav = Riff(45), older = Riff(60);
  for (const char* name : {"short", "junk", "empty", "typed"}) {
    key_sound_cache[name] = older;
  }
  const Bytes extensible = Extensible(WAVE_FORMAT_PCM, 16);
  const Bytes floats = Extensible(WAVE_FORMAT_IEEE_FLOAT, 32);
  EncodableMap samples = {
      {EncodableValue("wav"), EncodableValue(wav)},
      {EncodableValue("extensible"), EncodableValue(extensible)},
      {EncodableValue("float"), EncodableValue(floats)},
      {EncodableValue("short"), EncodableValue(Riff(44))},
      {EncodableValue("junk"), EncodableValue(Bytes(1000, 0x5A))},
      {EncodableValue("empty"), EncodableValue(Bytes())},
      {EncodableValue("typed"), EncodableValue("not bytes")},
      {EncodableValue(5), EncodableValue(wav)}};
  for (int i = 0; i < 24; ++i) {
    samples[EncodableValue("mp3 " + std::to_string(i))] = EncodableValue(mp3);
  }
  std::atomic<bool> calling{true};
  stops = 0;
  int served_while_decoding = 0;
  // A hook call reaches the main thread as a sent message, as these do. The
  // call stops the playing sound before it decodes and fills the cache after:
  // a send served between the two was served during the decode.
  std::thread sender([&] {
    while (calling) {
      h.OnMain([&] {
        served_while_decoding += stops > 0 && key_sound_cache.count("mp3 0") == 0;
      });
      Sleep(20);
    }
  });
  EXPECT_TRUE(h.RunApp([&](AppMessenger& app) {
    app.CallMethod("korvex/automation", "setKeySounds",
                   EncodableValue(Sounds(true, samples)), 60000);
    // Joined while the main thread still serves its sends.
    calling = false;
    sender.join();
    h.Call(app, "playKeySound", {{EncodableValue("name"), EncodableValue("wav")}});
  }));
  // A main thread blocked in the decode serves them only after the cache.
  EXPECT_GT(served_while_decoding, 0);
  EXPECT_EQ(key_sound_cache.count("short") + key_sound_cache.count("junk") +
                key_sound_cache.count("empty"),
            0u);
  EXPECT_EQ(key_sound_cache["typed"], older);
  EXPECT_EQ(key_sound_cache["wav"], wav);
  EXPECT_EQ(key_sound_cache["extensible"], extensible);
  EXPECT_EQ(key_sound_cache["float"], floats);
  EXPECT_EQ(played, std::vector<const void*>{key_sound_cache["wav"].data()});

  // 3 s of the 10 s source at 44.1 kHz, with the header of a 16-bit PCM WAV file.
  EXPECT_EQ(key_sound_cache.count("mp3 23"), 1u);
  const Bytes& image = key_sound_cache["mp3 0"];
  ASSERT_GT(image.size(), 44u);
  const uint16_t channels = static_cast<uint16_t>(image[22] | image[23] << 8);
  EXPECT_EQ(image.size(), 44 + 44100u * 3 * channels * 2);
  const Bytes header = Riff(image.size(), 44100, channels);
  EXPECT_EQ(Bytes(image.begin(), image.begin() + 44), Bytes(header.begin(), header.begin() + 44));
  play_sound = PlaySoundW;
}

TEST(KeySoundsTest, PhysicalKeyPlaysTheForegroundLayoutsSample) {
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  const std::string layout = LayoutIdentifier(GetKeyboardLayout(0));
  play_sound = RecordPlay;
  played.clear();
  std::vector<const void*> heard;
  const void* sample = nullptr;
  ASSERT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    h.Call(app, "setKeySounds", Sounds(true, {
        {EncodableValue(layout), EncodableValue(Riff(50))}}));
    h.OnMain([&] { sample = key_sound_cache[layout].data(); });
    ASSERT_TRUE(h.FocusTarget());
    ASSERT_TRUE(Xdo("key a"));
    ASSERT_TRUE(h.WaitForRecords(app, "keyDown", 1));
    // Served after the click that the hook posted.
    h.Call(app, "playKeySound", {{EncodableValue("name"), EncodableValue("none")}});
    h.OnMain([&] { heard.swap(played); });
  }));
  EXPECT_EQ(heard, std::vector<const void*>{sample});
  play_sound = PlaySoundW;
}
