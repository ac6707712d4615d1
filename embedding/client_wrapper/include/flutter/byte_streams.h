#ifndef FLUTTER_BYTE_STREAMS_H_
#define FLUTTER_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace flutter {

// Reads from a stream of bytes, for use in codecs.
class ByteStreamReader {
 public:
  explicit ByteStreamReader() = default;
  virtual ~ByteStreamReader() = default;

  virtual uint8_t ReadByte() = 0;
  // Reads |length| bytes into |buffer|.
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;
  // Skips padding up to the next multiple of |alignment|.
  virtual void ReadAlignment(uint8_t alignment) = 0;

  int32_t ReadInt32() {
    int32_t value = 0;
    ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(value));
    return value;
  }
  int64_t ReadInt64() {
    int64_t value = 0;
    ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(value));
    return value;
  }
  double ReadDouble() {
    double value = 0;
    ReadBytes(reinterpret_cast<uint8_t*>(&value), sizeof(value));
    return value;
  }

  // What a decoder needs to refuse hostile input instead of trusting it:
  // how much is left (so no length field sizes an allocation unchecked),
  // a sticky failure mark, and the nesting depth of lists and maps.
  virtual size_t BytesRemaining() const { return SIZE_MAX; }
  void MarkFailed() { failed_ = true; }
  bool failed() const { return failed_; }
  int nesting_depth = 0;

 private:
  bool failed_ = false;
};

// Writes to a stream of bytes, for use in codecs.
class ByteStreamWriter {
 public:
  explicit ByteStreamWriter() = default;
  virtual ~ByteStreamWriter() = default;

  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  // Pads with zeros up to the next multiple of |alignment|.
  virtual void WriteAlignment(uint8_t alignment) = 0;

  void WriteInt32(int32_t value) {
    WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
  }
  void WriteInt64(int64_t value) {
    WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
  }
  void WriteDouble(double value) {
    WriteBytes(reinterpret_cast<const uint8_t*>(&value), sizeof(value));
  }
};

}  // namespace flutter

#endif  // FLUTTER_BYTE_STREAMS_H_
