#include "feedback/key_sounds.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>
#include <cstring>

bool key_sounds_enabled = false;
std::map<std::string, std::vector<uint8_t>> key_sound_cache;

namespace {

constexpr size_t kWavHeaderBytes = 44;

bool IsWav(const std::vector<uint8_t>& bytes) {
  return bytes.size() > kWavHeaderBytes &&
         std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
         std::memcmp(bytes.data() + 8, "WAVE", 4) == 0;
}

void StopPlaying() {
  PlaySoundW(nullptr, nullptr, 0);
}

}  // namespace

void SetKeySounds(bool enabled, const std::optional<KeySoundSamples>& samples) {
  if (samples) {
    // A playing sound reads the cached bytes: stop it before they change.
    StopPlaying();
    for (const auto& [name, bytes] : *samples) {
      if (IsWav(bytes)) {
        key_sound_cache[name] = bytes;
      } else {
        // Compressed samples are not decoded yet: such a name plays nothing.
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
  PlaySoundW(reinterpret_cast<LPCWSTR>(found->second.data()), nullptr,
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
