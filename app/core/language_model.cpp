#include "core/language_model.h"

#include <algorithm>
#include <cmath>

#include "core/text_utf.h"

namespace korvex_app {

namespace {

constexpr char kMagic[4] = {'K', 'V', 'L', 'M'};
constexpr uint8_t kVersion = 2;
constexpr size_t kBuckets = 65536;
constexpr size_t kMaxAlphabet = 64;
constexpr double kCostScale = 8.0;
// Weight of the shorter context in the smoothing.
constexpr double kBackoff = 2.0;

void PutU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    out.push_back(static_cast<uint8_t>(value >> shift));
  }
}

uint32_t GetU32(const std::vector<uint8_t>& in, size_t at) {
  return static_cast<uint32_t>(in[at]) |
         static_cast<uint32_t>(in[at + 1]) << 8 |
         static_cast<uint32_t>(in[at + 2]) << 16 |
         static_cast<uint32_t>(in[at + 3]) << 24;
}

void PutU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

}  // namespace

std::u32string WordKey(const std::u32string& lower) {
  std::u32string key = lower;
  for (char32_t& c : key) {
    c = c == U'ё' ? U'е' : c;
  }
  return key;
}

// 64-bit FNV-1a folded: the high half picks the bucket, so it must mix well.
uint32_t WordHash(const std::u32string& word) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (unsigned char byte : Utf8FromUtf32(word)) {
    hash = (hash ^ byte) * 0x100000001b3ull;
  }
  return static_cast<uint32_t>(hash ^ (hash >> 32));
}

std::vector<uint8_t> LanguageModel::Build(
    const std::u32string& alphabet, const std::vector<std::u32string>& words,
    const std::u32string& inner) {
  const size_t n = std::min(alphabet.size(), kMaxAlphabet);
  const size_t v = n + 1;
  const std::u32string letters = alphabet.substr(0, n);
  auto index = [&letters](char32_t c) -> size_t {
    const size_t found = letters.find(c);
    return found == std::u32string::npos ? 0 : found + 1;
  };
  std::vector<double> tri(v * v * v), bi(v * v), uni(v);
  std::vector<double> tri_context(v * v), bi_context(v);
  std::vector<uint32_t> hashes;
  double total = 0;
  for (const std::u32string& word : words) {
    std::vector<size_t> letters;
    bool spelled = !word.empty() && index(word.front()) && index(word.back());
    for (char32_t c : word) {
      const size_t i = index(c);
      spelled = spelled && (i || inner.find(c) != std::u32string::npos);
      if (i == 0) {
        letters.clear();
      } else if (spelled) {
        letters.push_back(i);
      }
    }
    if (!spelled) {
      continue;
    }
    hashes.push_back(WordHash(WordKey(word)));
    if (letters.size() != word.size()) {
      continue;  // not all letters: no trigrams
    }
    letters.push_back(0);
    size_t a = 0, b = 0;
    for (size_t c : letters) {
      tri[(a * v + b) * v + c] += 1;
      tri_context[a * v + b] += 1;
      bi[b * v + c] += 1;
      bi_context[b] += 1;
      uni[c] += 1;
      total += 1;
      a = b;
      b = c;
    }
  }
  std::vector<uint8_t> out(kMagic, kMagic + 4);
  out.push_back(kVersion);
  out.push_back(static_cast<uint8_t>(n));
  for (size_t i = 0; i < n; ++i) {
    PutU32(out, alphabet[i]);
  }
  for (size_t a = 0; a < v; ++a) {
    for (size_t b = 0; b < v; ++b) {
      for (size_t c = 0; c < v; ++c) {
        const double p1 = (uni[c] + 1) / (total + v);
        const double p2 = (bi[b * v + c] + kBackoff * p1) / (bi_context[b] + kBackoff);
        const double p3 = (tri[(a * v + b) * v + c] + kBackoff * p2) /
                          (tri_context[a * v + b] + kBackoff);
        const double cost = std::round(-std::log2(p3) * kCostScale);
        out.push_back(static_cast<uint8_t>(std::clamp(cost, 0.0, 255.0)));
      }
    }
  }
  std::sort(hashes.begin(), hashes.end());
  hashes.erase(std::unique(hashes.begin(), hashes.end()), hashes.end());
  PutU32(out, static_cast<uint32_t>(hashes.size()));
  std::vector<uint32_t> sizes(kBuckets);
  for (uint32_t hash : hashes) {
    ++sizes[hash >> 16];
  }
  for (uint32_t size : sizes) {
    PutU32(out, size);
  }
  for (uint32_t hash : hashes) {
    PutU16(out, static_cast<uint16_t>(hash));
  }
  return out;
}

std::optional<LanguageModel> LanguageModel::Load(
    const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 6 || !std::equal(kMagic, kMagic + 4, bytes.begin()) ||
      bytes[4] != kVersion || bytes[5] == 0 || bytes[5] > kMaxAlphabet) {
    return std::nullopt;
  }
  const size_t n = bytes[5];
  const size_t v = n + 1;
  const size_t costs_at = 6 + 4 * n;
  const size_t count_at = costs_at + v * v * v;
  if (bytes.size() < count_at + 4) {
    return std::nullopt;
  }
  const size_t count = GetU32(bytes, count_at);
  const size_t low_at = count_at + 4 + 4 * kBuckets;
  // Compared by division: a huge count must not wrap the size check.
  if (bytes.size() < low_at || (bytes.size() - low_at) / 2 != count ||
      (bytes.size() - low_at) % 2 != 0) {
    return std::nullopt;
  }
  LanguageModel model;
  for (size_t i = 0; i < n; ++i) {
    model.alphabet_.push_back(GetU32(bytes, 6 + 4 * i));
  }
  model.costs_.assign(bytes.begin() + costs_at, bytes.begin() + count_at);
  model.bucket_end_.reserve(kBuckets);
  uint64_t total = 0;
  for (size_t i = 0; i < kBuckets; ++i) {
    total += GetU32(bytes, count_at + 4 + 4 * i);
    if (total > count) {
      return std::nullopt;
    }
    model.bucket_end_.push_back(static_cast<uint32_t>(total));
  }
  if (total != count) {
    return std::nullopt;
  }
  model.low_.resize(count);
  for (size_t i = 0; i < count; ++i) {
    model.low_[i] = static_cast<uint16_t>(bytes[low_at + 2 * i] |
                                          bytes[low_at + 2 * i + 1] << 8);
  }
  for (size_t i = 0, begin = 0; i < kBuckets; begin = model.bucket_end_[i++]) {
    if (!std::is_sorted(model.low_.begin() + begin,
                        model.low_.begin() + model.bucket_end_[i])) {
      return std::nullopt;
    }
  }
  return model;
}

int LanguageModel::Index(char32_t c) const {
  const size_t found = alphabet_.find(c);
  return found == std::u32string::npos || c == 0 ? 0
                                                 : static_cast<int>(found) + 1;
}

std::optional<double> LanguageModel::Cost(const std::u32string& word) const {
  if (word.empty()) {
    return std::nullopt;
  }
  const size_t v = alphabet_.size() + 1;
  size_t a = 0, b = 0;
  unsigned total = 0;
  for (size_t i = 0; i <= word.size(); ++i) {
    size_t c = 0;
    if (i < word.size()) {
      const int index = Index(word[i]);
      if (index == 0) {
        return std::nullopt;
      }
      c = static_cast<size_t>(index);
    }
    total += costs_[(a * v + b) * v + c];
    a = b;
    b = c;
  }
  return total / kCostScale;
}

bool LanguageModel::Knows(const std::u32string& word) const {
  const uint32_t hash = WordHash(WordKey(word));
  const size_t bucket = hash >> 16;
  const auto begin = low_.begin() + (bucket ? bucket_end_[bucket - 1] : 0);
  return std::binary_search(begin, low_.begin() + bucket_end_[bucket],
                            static_cast<uint16_t>(hash));
}

}  // namespace korvex_app
