#include "feedback/key_sounds.h"

#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "bridge/message_wait.h"
#include "feedback/wav_decoder.h"

bool key_sounds_enabled = false;
std::map<std::string, std::vector<uint8_t>> key_sound_cache;
BOOL(WINAPI* play_sound)(LPCWSTR, HMODULE, DWORD) = PlaySoundW;

namespace {

constexpr size_t kWavHeaderBytes = 44;

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
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  for (const auto& [name, bytes] : samples) {
    if (!bytes.empty() && !IsWav(bytes)) {
      decoded[name] = DecodeToWav(bytes);
    }
  }
  CoUninitialize();
}

// Decoding a large map takes seconds: it runs on a thread of its own while
// this one keeps serving the hooks.
Decoded DecodeCompressed(const KeySoundSamples& samples) {
  Decoded decoded;
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread worker;
  if (done) {
    try {
      worker = std::thread([&] {
        DecodeAll(samples, decoded);
        SetEvent(done);
      });
    } catch (...) {
    }
  }
  if (worker.joinable()) {
    WaitServingSentMessages(done, INFINITE);
    worker.join();
  } else {
    DecodeAll(samples, decoded);
  }
  if (done) {
    CloseHandle(done);
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
      } else if (IsWav(bytes)) {
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
