// Key sounds: decoding the 10 s test MP3 to its 3 s WAV image beside storing
// a WAV sample as it is (what setKeySounds spends per sample), and a click
// (cache lookup and asynchronous PlaySoundW) beside a bare PlaySoundW of the
// same bytes. Prints medians, ratios and the decoded image's size.
// usage: key_sound_bench.exe PATH_TO_MP3

#include <windows.h>
#include <mmsystem.h>
#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "feedback/key_sounds.h"
#include "feedback/wav_decoder.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

double MedianUs(std::vector<double> samples) {
  std::sort(samples.begin(), samples.end());
  return samples[samples.size() / 2];
}

template <class Work>
double TimeUs(Work work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: key_sound_bench PATH_TO_MP3\n");
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  const Bytes mp3((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (mp3.empty() || !DecodeToWav(mp3)) {
    std::fprintf(stderr, "cannot decode %s\n", argv[1]);
    return 1;
  }
  const Bytes wav = *DecodeToWav(mp3);

  constexpr int kRounds = 15;
  std::vector<double> decode, store;
  for (int i = 0; i < kRounds; ++i) {
    decode.push_back(TimeUs([&] { DecodeToWav(mp3); }));
    store.push_back(TimeUs([&] { key_sound_cache["copy"] = wav; }));
  }
  const double decode_us = MedianUs(decode), store_us = MedianUs(store);
  std::printf("per sample: MP3 decode %.0f us, WAV stored as is %.1f us, ratio %.0f\n",
              decode_us, store_us, decode_us / store_us);
  std::printf("decoded image: %zu bytes from %zu bytes of MP3\n", wav.size(), mp3.size());

  constexpr int kClicks = 200;
  key_sound_cache["04090409"] = wav;
  key_sounds_enabled = true;
  std::vector<double> click, bare;
  for (int i = 0; i < kClicks; ++i) {
    click.push_back(TimeUs([] { PlayLayoutKeySound(0x04090409); }));
    bare.push_back(TimeUs([&] {
      PlaySoundW(reinterpret_cast<LPCWSTR>(wav.data()), nullptr,
                 SND_ASYNC | SND_NODEFAULT | SND_MEMORY);
    }));
  }
  PlaySoundW(nullptr, nullptr, 0);
  const double click_us = MedianUs(click), bare_us = MedianUs(bare);
  std::printf("click: PlayLayoutKeySound %.1f us, bare PlaySoundW %.1f us, ratio %.2f\n",
              click_us, bare_us, click_us / bare_us);
  return 0;
}
