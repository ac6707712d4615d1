#include "feedback/wav_decoder.h"

#include <windows.h>
#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>
#include <shlwapi.h>

#include <cstring>

// Exported by mfplat, but not declared by the MinGW-w64 headers.
#if !defined(_MSC_VER)
extern "C" HRESULT WINAPI MFCreateMFByteStreamOnStream(IStream* stream,
                                                       IMFByteStream** byte_stream);
#endif

namespace {

// Set once MFStartup succeeded; Media Foundation is never shut down.
bool media_foundation_started = false;

constexpr DWORD kFirstAudioStream =
    static_cast<DWORD>(MF_SOURCE_READER_FIRST_AUDIO_STREAM);
constexpr double kMaxSeconds = 3.0;

template <class T>
void SafeRelease(T*& object) {
  if (object) {
    object->Release();
    object = nullptr;
  }
}

void PutU16(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t value) {
  PutU16(out, at, value & 0xFFFF);
  PutU16(out, at + 2, value >> 16);
}

std::vector<uint8_t> WavImage(const std::vector<uint8_t>& pcm, UINT32 channels,
                              UINT32 rate) {
  const uint32_t block_align = channels * 2;
  const uint32_t data_size = static_cast<uint32_t>(pcm.size());
  std::vector<uint8_t> wav(44 + pcm.size());
  std::memcpy(&wav[0], "RIFF", 4);
  PutU32(wav, 4, data_size + 36);
  std::memcpy(&wav[8], "WAVEfmt ", 8);
  PutU32(wav, 16, 16);
  PutU16(wav, 20, 1);
  PutU16(wav, 22, channels);
  PutU32(wav, 24, rate);
  PutU32(wav, 28, block_align * rate);
  PutU16(wav, 32, block_align);
  PutU16(wav, 34, 16);
  std::memcpy(&wav[36], "data", 4);
  PutU32(wav, 40, data_size);
  if (!pcm.empty()) {
    std::memcpy(&wav[44], pcm.data(), pcm.size());
  }
  return wav;
}

// Reads at most 3 s of PCM from |reader|; false when the format does not fit.
bool ReadPcm(IMFSourceReader* reader, std::vector<uint8_t>& pcm,
             UINT32& channels, UINT32& rate) {
  IMFMediaType* wanted = nullptr;
  if (FAILED(MFCreateMediaType(&wanted))) {
    return false;
  }
  wanted->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Audio);
  wanted->SetGUID(MF_MT_SUBTYPE, MFAudioFormat_PCM);
  wanted->SetUINT32(MF_MT_AUDIO_BITS_PER_SAMPLE, 16);
  const HRESULT set = reader->SetCurrentMediaType(kFirstAudioStream, nullptr, wanted);
  SafeRelease(wanted);
  IMFMediaType* actual = nullptr;
  if (FAILED(set) || FAILED(reader->GetCurrentMediaType(kFirstAudioStream, &actual))) {
    return false;
  }
  UINT32 bits = 0;
  channels = MFGetAttributeUINT32(actual, MF_MT_AUDIO_NUM_CHANNELS, 0);
  rate = MFGetAttributeUINT32(actual, MF_MT_AUDIO_SAMPLES_PER_SECOND, 0);
  bits = MFGetAttributeUINT32(actual, MF_MT_AUDIO_BITS_PER_SAMPLE, 0);
  SafeRelease(actual);
  if (channels == 0 || rate == 0 || bits != 16) {
    return false;
  }
  const uint64_t block_align = channels * 2ull;
  const uint64_t limit =
      static_cast<uint64_t>(rate * kMaxSeconds) * block_align;
  for (;;) {
    DWORD flags = 0;
    IMFSample* sample = nullptr;
    if (FAILED(reader->ReadSample(kFirstAudioStream, 0, nullptr, &flags, nullptr,
                                  &sample)) ||
        (flags & MF_SOURCE_READERF_ENDOFSTREAM)) {
      SafeRelease(sample);
      break;
    }
    if (!sample) {
      continue;  // a gap or a stream tick
    }
    IMFMediaBuffer* buffer = nullptr;
    BYTE* data = nullptr;
    DWORD length = 0;
    if (FAILED(sample->ConvertToContiguousBuffer(&buffer)) ||
        FAILED(buffer->Lock(&data, nullptr, &length))) {
      SafeRelease(buffer);
      SafeRelease(sample);
      break;
    }
    const uint64_t room = pcm.size() >= limit ? 0 : limit - pcm.size();
    const size_t take = static_cast<size_t>(length < room ? length : room);
    pcm.insert(pcm.end(), data, data + take);
    buffer->Unlock();
    SafeRelease(buffer);
    SafeRelease(sample);
    if (pcm.size() >= limit) {
      break;
    }
  }
  return true;
}

// An ID3 tag, an MPEG audio frame header or a RIFF/WAVE file: the formats
// the application sends. Anything else never reaches the decoder, so that
// arbitrary bytes from a channel are not handed to a system decoder at all
// (under Wine every attempt on bytes it cannot read also leaves memory
// behind).
bool LooksDecodable(const std::vector<uint8_t>& bytes) {
  return bytes.size() >= 12 &&
         (std::memcmp(bytes.data(), "ID3", 3) == 0 ||
          (bytes[0] == 0xFF && (bytes[1] & 0xE0) == 0xE0) ||
          (std::memcmp(bytes.data(), "RIFF", 4) == 0 &&
           std::memcmp(bytes.data() + 8, "WAVE", 4) == 0));
}

}  // namespace

std::optional<std::vector<uint8_t>> DecodeToWav(const std::vector<uint8_t>& encoded) {
  if (!LooksDecodable(encoded)) {
    return std::nullopt;
  }
  if (!media_foundation_started) {
    if (FAILED(MFStartup(MF_VERSION, MFSTARTUP_LITE))) {
      return std::nullopt;
    }
    media_foundation_started = true;
  }
  if (encoded.size() > 0xFFFFFFFFull) {
    return std::nullopt;
  }
  IStream* stream =
      SHCreateMemStream(encoded.data(), static_cast<UINT>(encoded.size()));
  if (!stream) {
    return std::nullopt;
  }
  IMFByteStream* byte_stream = nullptr;
  const HRESULT wrapped = MFCreateMFByteStreamOnStream(stream, &byte_stream);
  SafeRelease(stream);
  if (FAILED(wrapped)) {
    return std::nullopt;
  }
  IMFAttributes* attributes = nullptr;
  if (SUCCEEDED(byte_stream->QueryInterface(IID_IMFAttributes,
                                            reinterpret_cast<void**>(&attributes)))) {
    // A hint for the source resolver only.
    attributes->SetString(MF_BYTESTREAM_CONTENT_TYPE, L"audio/mpeg");
    SafeRelease(attributes);
  }
  IMFSourceReader* reader = nullptr;
  const HRESULT opened =
      MFCreateSourceReaderFromByteStream(byte_stream, nullptr, &reader);
  SafeRelease(byte_stream);
  if (FAILED(opened)) {
    return std::nullopt;
  }
  std::vector<uint8_t> pcm;
  UINT32 channels = 0, rate = 0;
  const bool read = ReadPcm(reader, pcm, channels, rate);
  SafeRelease(reader);
  if (!read || pcm.empty()) {
    return std::nullopt;
  }
  pcm.resize(pcm.size() - pcm.size() % (channels * 2));
  return WavImage(pcm, channels, rate);
}
