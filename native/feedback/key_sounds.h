#ifndef KORVEX_NATIVE_FEEDBACK_KEY_SOUNDS_H_
#define KORVEX_NATIVE_FEEDBACK_KEY_SOUNDS_H_

#include <windows.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Key clicks from samples the application supplies, played from memory.

using KeySoundSamples = std::map<std::string, std::vector<uint8_t>>;

extern bool key_sounds_enabled;
// Sample name to WAV image; an entry is never empty.
extern std::map<std::string, std::vector<uint8_t>> key_sound_cache;
// PlaySoundW; a test replaces it, since no sound can be heard under Wine.
extern BOOL(WINAPI* play_sound)(LPCWSTR, HMODULE, DWORD);

// |samples| absent leaves the cache as it is.
void SetKeySounds(bool enabled, const std::optional<KeySoundSamples>& samples);
void PlayKeySound(const std::string& name);
// The click for a key typed while |layout| (its low 32 bits) was in front.
void PlayLayoutKeySound(uint32_t layout);
bool KeySoundsEnabled();

#endif  // KORVEX_NATIVE_FEEDBACK_KEY_SOUNDS_H_
