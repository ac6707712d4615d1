#ifndef FLUTTER_BYTE_BUFFER_STREAMS_H_
#define FLUTTER_BYTE_BUFFER_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "include/flutter/byte_streams.h"

namespace flutter {

// Reads from a byte array. A read past the end reads zeros, reads nothing
// from memory it was not given, and marks the stream failed.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* bytes, size_t size)
      : bytes_(bytes), size_(bytes ? size : 0) {}
  virtual ~ByteBufferStreamReader() = default;

  uint8_t ReadByte() override {
    if (location_ >= size_) {
      MarkFailed();
      return 0;
    }
    return bytes_[location_++];
  }

  void ReadBytes(uint8_t* buffer, size_t length) override {
    if (length > size_ - location_) {
      MarkFailed();
      location_ = size_;
      if (length > 0) {
        std::memset(buffer, 0, length);
      }
      return;
    }
    if (length > 0) {
      std::memcpy(buffer, bytes_ + location_, length);
    }
    location_ += length;
  }

  void ReadAlignment(uint8_t alignment) override {
    if (alignment == 0) {
      return;
    }
    const size_t mod = location_ % alignment;
    if (mod == 0) {
      return;
    }
    const size_t skip = alignment - mod;
    if (skip > size_ - location_) {
      MarkFailed();
      location_ = size_;
      return;
    }
    location_ += skip;
  }

  size_t BytesRemaining() const override { return size_ - location_; }
  size_t location() const { return location_; }

 private:
  const uint8_t* bytes_;
  size_t size_;
  size_t location_ = 0;
};

// Appends to a byte vector; alignment is relative to the vector's start.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer)
      : bytes_(buffer) {}
  virtual ~ByteBufferStreamWriter() = default;

  void WriteByte(uint8_t byte) override { bytes_->push_back(byte); }

  void WriteBytes(const uint8_t* bytes, size_t length) override {
    if (length > 0) {
      bytes_->insert(bytes_->end(), bytes, bytes + length);
    }
  }

  void WriteAlignment(uint8_t alignment) override {
    if (alignment == 0) {
      return;
    }
    const size_t mod = bytes_->size() % alignment;
    if (mod != 0) {
      bytes_->insert(bytes_->end(), alignment - mod, 0);
    }
  }

 private:
  std::vector<uint8_t>* bytes_;
};

}  // namespace flutter

#endif  // FLUTTER_BYTE_BUFFER_STREAMS_H_
