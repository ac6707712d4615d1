#ifndef KORVEX_NATIVE_FEEDBACK_WAV_DECODER_H_
#define KORVEX_NATIVE_FEEDBACK_WAV_DECODER_H_

#include <cstdint>
#include <optional>
#include <vector>

// Decodes a compressed sample (MP3, WAV) with Media Foundation into a
// 16-bit PCM WAV image of at most 3 seconds. Call on a thread initialised
// for COM in the multithreaded apartment.
std::optional<std::vector<uint8_t>> DecodeToWav(const std::vector<uint8_t>& encoded);

#endif  // KORVEX_NATIVE_FEEDBACK_WAV_DECODER_H_
