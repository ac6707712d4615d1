#ifndef FLUTTER_RESPONSE_ENVELOPE_H_
#define FLUTTER_RESPONSE_ENVELOPE_H_

// Internal, not published with the wrapper. MethodResult only lends a reply's
// value; the application side keeps it, and takes it from here instead of
// copying it.

#include <cstddef>
#include <cstdint>
#include <string>

#include "include/flutter/encodable_value.h"
#include "include/flutter/standard_codec_serializer.h"

namespace flutter {
namespace internal {

struct ResponseEnvelope {
  bool success = false;
  EncodableValue value;  // The result, or the error's details.
  std::string error_code;
  std::string error_message;
};

// False when |response| is not one whole, well-formed envelope.
bool DecodeResponseEnvelope(const StandardCodecSerializer& serializer,
                            const uint8_t* response,
                            size_t response_size,
                            ResponseEnvelope* envelope);

}  // namespace internal
}  // namespace flutter

#endif  // FLUTTER_RESPONSE_ENVELOPE_H_
