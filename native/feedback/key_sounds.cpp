#include "feedback/key_sounds.h"

#include <windows.h>
#include <mmsystem.h>
#include <mmreg.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>

#include "common/capture_log.h"
#include "common/message_wait.h"
#include "feedback/wav_decoder.h"

bool key_sounds_enabled = false;
std::map<std::string, std::vector<uint8_t>> key_sound_cache;
BOOL(WINAPI* play_sound)(LPCWSTR, HMODULE, DWORD) = PlaySoundW;

namespace {

constexpr size_t kWavHeaderBytes = 44;

uint32_t Read32(const uint8_t* at) {
  return at[0] | (at[1] << 8) | (at[2] << 16) |
         (static_cast<uint32_t>(at[3]) << 24);
}

uint16_t Read16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

constexpr uint16_t kExtensibleTag = 0xFFFE;
// The sub-formats of an extensible format block: the GUIDs of PCM and IEEE
// float share all but their first two bytes, which hold the format tag.
constexpr uint8_t kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                        0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// PCM and IEEE float samples, plain or in an extensible block, of a shape
// the system player takes.
bool PlayableFormat(const uint8_t* block, uint64_t length) {
  uint16_t tag = Read16(block);
  const uint16_t channels = Read16(block + 2);
  const uint32_t rate = Read32(block + 4);
  const uint16_t align = Read16(block + 12);
  const uint16_t bits = Read16(block + 14);
  if (tag == kExtensibleTag) {
    // cbSize, valid bits, channel mask, then the sub-format GUID.
    if (length < 40 || Read16(block + 16) < 22 || Read16(block + 18) > bits ||
        std::memcmp(block + 26, kSubFormatTail, sizeof kSubFormatTail) != 0) {
      return false;
    }
    tag = Read16(block + 24);
  }
  const bool pcm = tag == WAVE_FORMAT_PCM &&
                   (bits == 8 || bits == 16 || bits == 24 || bits == 32);
  const bool floats = tag == WAVE_FORMAT_IEEE_FLOAT && (bits == 32 || bits == 64);
  return (pcm || floats) && channels >= 1 && channels <= 8 && rate > 0 &&
         align == channels * bits / 8;
}

// The system plays the bytes on a thread of its own and believes their
// sizes: a RIFF or chunk size beyond the image has it read past the end.
// So an image is taken as it is only when its chunks lie within it and its
// format is one the system plays.
bool IsPlayableWav(const std::vector<uint8_t>& bytes) {
  const size_t size = bytes.size();
  const uint8_t* data = bytes.data();
  if (size <= kWavHeaderBytes || std::memcmp(data, "RIFF", 4) != 0 ||
      std::memcmp(data + 8, "WAVE", 4) != 0) {
    return false;
  }
  const uint64_t end = uint64_t{Read32(data + 4)} + 8;
  if (end > size) {
    return false;
  }
  bool format = false;
  bool samples = false;
  for (uint64_t at = 12; at + 8 <= end;) {
    const uint8_t* chunk = data + at;
    const uint64_t length = Read32(chunk + 4);
    if (at + 8 + length > end) {
      return false;
    }
    if (std::memcmp(chunk, "fmt ", 4) == 0 && length >= 16) {
      format = PlayableFormat(chunk + 8, length);
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      samples = format && length > 0;
    }
    // Chunks are padded to an even size.
    at += 8 + length + (length & 1);
  }
  return format && samples;
}

// A RIFF/WAVE image is never handed to the decoder: it is kept when
// playable, else dropped.
bool IsWav(const std::vector<uint8_t>& bytes) {
  return bytes.size() > kWavHeaderBytes &&
         std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
         std::memcmp(bytes.data() + 8, "WAVE", 4) == 0;
}

void StopPlaying() {
  play_sound(nullptr, nullptr, 0);
}

using Decoded = std::map<std::string, std::optional<std::vector<uint8_t>>>;

void DecodeAll(const KeySoundSamples& samples, Decoded& decoded) {
  // On the main thread (no decoder thread to be had) COM is set up already,
  // in another apartment: that set-up is not this one's to undo.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (const auto& [name, bytes] : samples) {
    if (!bytes.empty() && !IsWav(bytes)) {
      decoded[name] = DecodeToWav(bytes);
    }
  }
  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
}

// Decoding a large map takes seconds: it runs on a thread of its own while
// this one keeps serving the hooks.
Decoded DecodeCompressed(const KeySoundSamples& samples) {
  Decoded decoded;
  ServedThread decoder;
  if (decoder.Start([&] { DecodeAll(samples, decoded); })) {
    decoder.Join();
  } else {
    DecodeAll(samples, decoded);
  }
  return decoded;
}

}  // namespace

void SetKeySounds(bool enabled, const std::optional<KeySoundSamples>& samples) {
  if (samples) {
    // A playing sound reads the cached bytes: stop it before they change.
    StopPlaying();
    Decoded decoded = DecodeCompressed(*samples);
    for (const auto& [name, bytes] : *samples) {
      if (bytes.empty()) {
        key_sound_cache.erase(name);
      } else if (IsPlayableWav(bytes)) {
        key_sound_cache[name] = bytes;
      } else if (decoded[name]) {
        key_sound_cache[name] = std::move(*decoded[name]);
      } else {
        // An older sound of the name goes too.
        key_sound_cache.erase(name);
      }
    }
  }
  key_sounds_enabled = enabled;
  if (!enabled) {
    StopPlaying();
  }
}

void PlayKeySound(const std::string& name) {
  auto found = key_sound_cache.find(name);
  if (found == key_sound_cache.end() || found->second.empty()) {
    return;
  }
  // Under Wine nothing is heard: the trace says a click was played.
  if (capture_log) {
    WriteTraceLine("key sound " + name);
  }
  play_sound(reinterpret_cast<LPCWSTR>(found->second.data()), nullptr,
             SND_ASYNC | SND_NODEFAULT | SND_MEMORY);
}

void PlayLayoutKeySound(uint32_t layout) {
  if (!key_sounds_enabled) {
    return;
  }
  char name[16];
  std::snprintf(name, sizeof(name), "%08X", static_cast<unsigned>(layout));
  PlayKeySound(name);
}

bool KeySoundsEnabled() {
  return key_sounds_enabled;
}
