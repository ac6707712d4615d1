// Key sounds through the channel: Media Foundation decoding of an MP3 made
// at build time, the cache rules, and the click of a physical key. Wine
// plays nothing here, so what would be played is recorded instead.

#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>

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
  if (!sound) ++stops;
  if (sound && flags == (SND_ASYNC | SND_NODEFAULT | SND_MEMORY)) played.push_back(sound);
  return TRUE;
}

void Put(Bytes& bytes, size_t at, uint32_t value, int count = 4) {
  for (int i = 0; i < count; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A playable image of |size| bytes (44 of them header): 16-bit PCM, or with
// |sub_format| 32-bit samples in an extensible format block, as recorders
// write them.
Bytes Riff(size_t size, uint32_t rate = 8000, uint16_t channels = 1, uint16_t sub_format = 0) {
  const uint16_t bits = sub_format ? 32 : 16, extra = sub_format ? 24 : 0;
  Bytes bytes(size + extra, 7);
  std::memcpy(bytes.data(), "RIFFxxxxWAVEfmt ", 16);
  Put(bytes, 4, static_cast<uint32_t>(bytes.size() - 8));
  Put(bytes, 16, 16 + extra);
  Put(bytes, 20, (sub_format ? 0xFFFE : 1) | channels << 16);
  Put(bytes, 24, rate);
  Put(bytes, 28, rate * channels * bits / 8);
  Put(bytes, 32, channels * bits / 8 | bits << 16);  // block align, bits
  if (sub_format) {
    // Size, valid bits, channel mask, and the sub-format's GUID.
    const uint32_t block[] = {22 | 32 << 16, 4, sub_format, 0x00100000, 0xAA000080, 0x719B3800};
    for (int i = 0; i < 6; ++i) Put(bytes, 36 + 4 * i, block[i]);
  }
  std::memcpy(bytes.data() + 36 + extra, "data", 4);
  Put(bytes, 40 + extra, static_cast<uint32_t>(size > 44 ? size - 44 : 0));
  return bytes;
}

}  // namespace

TEST(KeySoundsTest, SamplesAreDecodedAsideStoredOrDroppedAndKeysPlayThem) {
  const std::string file = ReadFileBytes(ProgramFolder() + L"\\tone_10s.mp3");
  const Bytes mp3(file.begin(), file.end());
  if (mp3.empty()) GTEST_SKIP() << "no test MP3 (lame was missing at build time)";
  KeyboardHarness h;
  ASSERT_TRUE(h.ready());
  play_sound = RecordPlay;
  const std::string layout = LayoutIdentifier(GetKeyboardLayout(0));
  const Bytes wav = Riff(45), older = Riff(60), extensible = Riff(100, 8000, 1, WAVE_FORMAT_PCM),
              floats = Riff(100, 8000, 1, WAVE_FORMAT_IEEE_FLOAT);
  for (const char* name : {"short", "junk", "empty", "typed"}) key_sound_cache[name] = older;
  EncodableMap samples = {
      {EncodableValue("wav"), EncodableValue(wav)},
      {EncodableValue(layout), EncodableValue(Riff(50))},
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
  int served_while_decoding = 0;
  // A hook call reaches the main thread as a sent message, as these do. The
  // call stops the playing sound before it decodes and fills the cache after:
  // a send served between the two was served during the decode.
  std::thread sender([&] {
    while (calling) {
      h.OnMain([&] { served_while_decoding += stops > 0 && !key_sound_cache.count("mp3 0"); });
      Sleep(20);
    }
  });
  std::vector<const void*> heard;
  EXPECT_TRUE(h.RunApp([&](AppMessenger& app) {
    ASSERT_TRUE(h.Listen(app));
    app.CallMethod("korvex/automation", "setKeySounds",
                   EncodableValue(EncodableMap{
                       {EncodableValue("enabled"), EncodableValue(true)},
                       {EncodableValue("samples"), EncodableValue(samples)}}),
                   60000);
    // Joined while the main thread still serves its sends.
    calling = false;
    sender.join();
    // A physical key clicks with the foreground layout's sample, before the
    // call that follows it.
    ASSERT_TRUE(h.FocusTarget());
    ASSERT_TRUE(Xdo("key a"));
    ASSERT_TRUE(h.WaitForRecords(app, "keyDown", 1));
    h.Call(app, "playKeySound", {{EncodableValue("name"), EncodableValue("wav")}});
    h.OnMain([&] { heard.swap(played); });
  }));
  // A main thread blocked in the decode serves them only after the cache.
  EXPECT_GT(served_while_decoding, 0);
  for (const char* name : {"short", "junk", "empty"}) EXPECT_EQ(key_sound_cache.count(name), 0u);
  EXPECT_EQ(key_sound_cache["typed"], older);
  EXPECT_EQ(key_sound_cache["extensible"], extensible);
  EXPECT_EQ(key_sound_cache["float"], floats);
  EXPECT_EQ(heard, (std::vector<const void*>{key_sound_cache[layout].data(),
                                             key_sound_cache["wav"].data()}));

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
