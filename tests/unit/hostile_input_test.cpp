// What hostile input on the channels once did to the host, each case found
// by the channel stress test and kept here as it came.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "feedback/key_sounds.h"
#include "test_support.h"

namespace {

void Put32(std::vector<uint8_t>& bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void Put16(std::vector<uint8_t>& bytes, uint16_t value) {
  bytes.push_back(static_cast<uint8_t>(value));
  bytes.push_back(static_cast<uint8_t>(value >> 8));
}

// A RIFF/WAVE image with the sizes it claims, whatever it holds.
std::vector<uint8_t> Wave(uint32_t riff_size, uint32_t format_size,
                          uint16_t bits, uint32_t data_size, size_t pcm) {
  std::vector<uint8_t> bytes = {'R', 'I', 'F', 'F'};
  Put32(bytes, riff_size);
  for (char c : std::string("WAVEfmt ")) bytes.push_back(static_cast<uint8_t>(c));
  Put32(bytes, format_size);
  Put16(bytes, 1);             // PCM
  Put16(bytes, 1);             // mono
  Put32(bytes, 8000);
  Put32(bytes, 8000 * bits / 8);
  Put16(bytes, bits / 8);      // block align
  Put16(bytes, bits);
  for (char c : std::string("data")) bytes.push_back(static_cast<uint8_t>(c));
  Put32(bytes, data_size);
  bytes.resize(bytes.size() + pcm, 0x40);
  return bytes;
}

TEST(HostileInputTest, SoundSamplesWhoseSizesLieAreNeitherKeptNorPlayed) {
  const size_t pcm = 800;
  const uint32_t riff = static_cast<uint32_t>(36 + pcm);
  KeySoundSamples samples = {
      {"good", Wave(riff, 16, 16, static_cast<uint32_t>(pcm), pcm)},
      {"riff", Wave(0x7FFFFFFF, 16, 16, static_cast<uint32_t>(pcm), pcm)},
      {"format", Wave(riff, 0x7FFFFFF0, 16, static_cast<uint32_t>(pcm), pcm)},
      {"data", Wave(riff, 16, 16, 0x7FFFFFF0, pcm)},
      {"bits", Wave(riff, 16, 12, static_cast<uint32_t>(pcm), pcm)},
  };
  // An older sound under a lying name goes, as a sample that cannot be
  // decoded does.
  key_sound_cache["data"] = samples["good"];
  SetKeySounds(true, samples);
  EXPECT_EQ(key_sound_cache.size(), 1u);
  EXPECT_EQ(key_sound_cache.count("good"), 1u);
  // The system's player would read far past the image and take the process
  // down with it.
  for (const auto& [name, bytes] : samples) {
    PlayKeySound(name);
    test_support::PumpUntil([] { return false; }, 200);
  }
  SetKeySounds(false, std::nullopt);
}

}  // namespace
