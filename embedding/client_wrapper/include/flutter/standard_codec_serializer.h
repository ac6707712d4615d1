#ifndef FLUTTER_STANDARD_CODEC_SERIALIZER_H_
#define FLUTTER_STANDARD_CODEC_SERIALIZER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "byte_streams.h"
#include "encodable_value.h"

namespace flutter {

// Reads and writes EncodableValue in the standard codec's binary form.
// Subclass it to carry CustomEncodableValue with type tags of your own.
class StandardCodecSerializer {
 public:
  virtual ~StandardCodecSerializer();
  StandardCodecSerializer(StandardCodecSerializer const&) = delete;
  StandardCodecSerializer& operator=(StandardCodecSerializer const&) = delete;

  static const StandardCodecSerializer& GetInstance();

  // On malformed input the stream is marked failed and null is returned.
  EncodableValue ReadValue(ByteStreamReader* stream) const;
  virtual void WriteValue(const EncodableValue& value,
                          ByteStreamWriter* stream) const;

 protected:
  StandardCodecSerializer();

  virtual EncodableValue ReadValueOfType(uint8_t type,
                                         ByteStreamReader* stream) const;
  size_t ReadSize(ByteStreamReader* stream) const;
  void WriteSize(size_t size, ByteStreamWriter* stream) const;

 private:
  template <typename T>
  EncodableValue ReadVector(ByteStreamReader* stream) const;
  template <typename T>
  void WriteVector(const std::vector<T>& vector,
                   ByteStreamWriter* stream) const;
};

}  // namespace flutter

#endif  // FLUTTER_STANDARD_CODEC_SERIALIZER_H_
