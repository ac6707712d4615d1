// The standard message and method codecs.

#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "byte_buffer_streams.h"
#include "include/flutter/standard_codec_serializer.h"
#include "include/flutter/standard_message_codec.h"
#include "include/flutter/standard_method_codec.h"
#include "response_envelope.h"

namespace flutter {

namespace {

enum class EncodedType : uint8_t {
  kNull = 0,
  kTrue,
  kFalse,
  kInt32,
  kInt64,
  kLargeInt,  // Never written; read as its decimal text, a string.
  kFloat64,
  kString,
  kUInt8List,
  kInt32List,
  kInt64List,
  kFloat64List,
  kList,
  kMap,
  kFloat32List,
};

// Deep enough for any real message, shallow enough that a hostile one of
// nested lists cannot exhaust the stack.
constexpr int kMaxNestingDepth = 256;

EncodedType EncodedTypeForValue(const EncodableValue& value) {
  switch (value.index()) {
    case 1:
      return std::get<bool>(value) ? EncodedType::kTrue : EncodedType::kFalse;
    case 2:
      return EncodedType::kInt32;
    case 3:
      return EncodedType::kInt64;
    case 4:
      return EncodedType::kFloat64;
    case 5:
      return EncodedType::kString;
    case 6:
      return EncodedType::kUInt8List;
    case 7:
      return EncodedType::kInt32List;
    case 8:
      return EncodedType::kInt64List;
    case 9:
      return EncodedType::kFloat64List;
    case 10:
      return EncodedType::kList;
    case 11:
      return EncodedType::kMap;
    case 13:
      return EncodedType::kFloat32List;
    default:
      return EncodedType::kNull;
  }
}

}  // namespace

StandardCodecSerializer::StandardCodecSerializer() = default;
StandardCodecSerializer::~StandardCodecSerializer() = default;

const StandardCodecSerializer& StandardCodecSerializer::GetInstance() {
  static StandardCodecSerializer sInstance;
  return sInstance;
}

EncodableValue StandardCodecSerializer::ReadValue(
    ByteStreamReader* stream) const {
  if (stream->failed()) {
    return EncodableValue();
  }
  const uint8_t type = stream->ReadByte();
  if (stream->failed()) {
    return EncodableValue();
  }
  EncodableValue value = ReadValueOfType(type, stream);
  // Not a conditional expression: with a named value it would copy it.
  if (stream->failed()) {
    return EncodableValue();
  }
  return value;
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  if (std::holds_alternative<CustomEncodableValue>(value)) {
    // Unknown without a codec extension: written as null so that the
    // message around it stays well formed.
    std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue."
              << " Custom types require codec extensions." << std::endl;
  }
  stream->WriteByte(static_cast<uint8_t>(EncodedTypeForValue(value)));
  switch (value.index()) {
    case 2:
      stream->WriteInt32(std::get<int32_t>(value));
      break;
    case 3:
      stream->WriteInt64(std::get<int64_t>(value));
      break;
    case 4:
      stream->WriteAlignment(8);
      stream->WriteDouble(std::get<double>(value));
      break;
    case 5: {
      const auto& s = std::get<std::string>(value);
      WriteSize(s.size(), stream);
      stream->WriteBytes(reinterpret_cast<const uint8_t*>(s.data()), s.size());
      break;
    }
    case 6:
      WriteVector(std::get<std::vector<uint8_t>>(value), stream);
      break;
    case 7:
      WriteVector(std::get<std::vector<int32_t>>(value), stream);
      break;
    case 8:
      WriteVector(std::get<std::vector<int64_t>>(value), stream);
      break;
    case 9:
      WriteVector(std::get<std::vector<double>>(value), stream);
      break;
    case 10: {
      const auto& list = std::get<EncodableList>(value);
      WriteSize(list.size(), stream);
      for (const auto& item : list) {
        WriteValue(item, stream);
      }
      break;
    }
    case 11: {
      const auto& map = std::get<EncodableMap>(value);
      WriteSize(map.size(), stream);
      for (const auto& pair : map) {
        WriteValue(pair.first, stream);
        WriteValue(pair.second, stream);
      }
      break;
    }
    case 13:
      WriteVector(std::get<std::vector<float>>(value), stream);
      break;
    default:
      break;
  }
}

EncodableValue StandardCodecSerializer::ReadValueOfType(
    uint8_t type,
    ByteStreamReader* stream) const {
  switch (static_cast<EncodedType>(type)) {
    case EncodedType::kNull:
      return EncodableValue();
    case EncodedType::kTrue:
      return EncodableValue(true);
    case EncodedType::kFalse:
      return EncodableValue(false);
    case EncodedType::kInt32:
      return EncodableValue(stream->ReadInt32());
    case EncodedType::kInt64:
      return EncodableValue(stream->ReadInt64());
    case EncodedType::kFloat64:
      stream->ReadAlignment(8);
      return EncodableValue(stream->ReadDouble());
    case EncodedType::kLargeInt:
    case EncodedType::kString: {
      const size_t size = ReadSize(stream);
      if (stream->failed() || size > stream->BytesRemaining()) {
        stream->MarkFailed();
        return EncodableValue();
      }
      std::string s(size, '\0');
      if (size > 0) {
        stream->ReadBytes(reinterpret_cast<uint8_t*>(&s[0]), size);
      }
      return EncodableValue(std::move(s));
    }
    case EncodedType::kUInt8List:
      return ReadVector<uint8_t>(stream);
    case EncodedType::kInt32List:
      return ReadVector<int32_t>(stream);
    case EncodedType::kInt64List:
      return ReadVector<int64_t>(stream);
    case EncodedType::kFloat64List:
      return ReadVector<double>(stream);
    case EncodedType::kFloat32List:
      return ReadVector<float>(stream);
    case EncodedType::kList:
    case EncodedType::kMap: {
      const bool is_map = static_cast<EncodedType>(type) == EncodedType::kMap;
      const size_t count = ReadSize(stream);
      // Every element takes at least one byte, so a count beyond what is
      // left is a lie; refuse it before anything is allocated for it.
      const size_t remaining = stream->BytesRemaining();
      if (stream->failed() || count > remaining ||
          (is_map && count > remaining / 2) ||
          stream->nesting_depth >= kMaxNestingDepth) {
        stream->MarkFailed();
        return EncodableValue();
      }
      ++stream->nesting_depth;
      EncodableValue result;
      if (is_map) {
        EncodableMap map;
        for (size_t i = 0; i < count && !stream->failed(); ++i) {
          EncodableValue key = ReadValue(stream);
          EncodableValue item = ReadValue(stream);
          // A repeated key keeps its last value, as the application side's
          // map literal would.
          map[std::move(key)] = std::move(item);
        }
        result = EncodableValue(std::move(map));
      } else {
        EncodableList list;
        list.reserve(count);
        for (size_t i = 0; i < count && !stream->failed(); ++i) {
          list.push_back(ReadValue(stream));
        }
        result = EncodableValue(std::move(list));
      }
      --stream->nesting_depth;
      if (stream->failed()) {
        return EncodableValue();
      }
      return result;
    }
    default:
      std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: "
                << static_cast<int>(type) << std::endl;
      stream->MarkFailed();
      return EncodableValue();
  }
}

size_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  const uint8_t byte = stream->ReadByte();
  if (byte < 254) {
    return byte;
  }
  if (byte == 254) {
    uint16_t value = 0;
    stream->ReadBytes(reinterpret_cast<uint8_t*>(&value), 2);
    return value;
  }
  uint32_t value = 0;
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&value), 4);
  return value;
}

void StandardCodecSerializer::WriteSize(size_t size,
                                        ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xffff) {
    stream->WriteByte(254);
    const uint16_t value = static_cast<uint16_t>(size);
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(&value), 2);
  } else {
    stream->WriteByte(255);
    const uint32_t value = static_cast<uint32_t>(size);
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(&value), 4);
  }
}

template <typename T>
EncodableValue StandardCodecSerializer::ReadVector(
    ByteStreamReader* stream) const {
  const size_t count = ReadSize(stream);
  constexpr size_t kElementSize = sizeof(T);
  // The padding comes even before an empty list, as the application side
  // writes it.
  if (kElementSize > 1) {
    stream->ReadAlignment(static_cast<uint8_t>(kElementSize));
  }
  if (stream->failed() || count > stream->BytesRemaining() / kElementSize) {
    stream->MarkFailed();
    return EncodableValue();
  }
  std::vector<T> vector(count);
  if (count > 0) {
    stream->ReadBytes(reinterpret_cast<uint8_t*>(vector.data()),
                      count * kElementSize);
  }
  return EncodableValue(std::move(vector));
}

template <typename T>
void StandardCodecSerializer::WriteVector(const std::vector<T>& vector,
                                          ByteStreamWriter* stream) const {
  const size_t count = vector.size();
  WriteSize(count, stream);
  constexpr size_t kElementSize = sizeof(T);
  if (kElementSize > 1) {
    stream->WriteAlignment(static_cast<uint8_t>(kElementSize));
  }
  if (count > 0) {
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(vector.data()),
                       count * kElementSize);
  }
}

namespace {

// One codec instance per serializer, as the published API promises.
template <typename Codec>
const Codec& CodecFor(const StandardCodecSerializer* serializer,
                      Codec* (*make)(const StandardCodecSerializer*)) {
  static std::mutex mutex;
  static std::map<const StandardCodecSerializer*, std::unique_ptr<Codec>>
      instances;
  if (!serializer) {
    serializer = &StandardCodecSerializer::GetInstance();
  }
  std::lock_guard<std::mutex> lock(mutex);
  auto& slot = instances[serializer];
  if (!slot) {
    slot.reset(make(serializer));
  }
  return *slot;
}

}  // namespace

// StandardMessageCodec

StandardMessageCodec::StandardMessageCodec(
    const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}
StandardMessageCodec::~StandardMessageCodec() = default;

const StandardMessageCodec& StandardMessageCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  return CodecFor<StandardMessageCodec>(
      serializer, [](const StandardCodecSerializer* s) {
        return new StandardMessageCodec(s);
      });
}

std::unique_ptr<EncodableValue> StandardMessageCodec::DecodeMessageInternal(
    const uint8_t* binary_message,
    const size_t message_size) const {
  if (!binary_message || message_size == 0) {
    // An empty message is the null value, as the application side reads it.
    return std::make_unique<EncodableValue>();
  }
  ByteBufferStreamReader stream(binary_message, message_size);
  EncodableValue value = serializer_->ReadValue(&stream);
  if (stream.failed() || stream.BytesRemaining() != 0) {
    return nullptr;
  }
  return std::make_unique<EncodableValue>(std::move(value));
}

std::unique_ptr<std::vector<uint8_t>>
StandardMessageCodec::EncodeMessageInternal(
    const EncodableValue& message) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(encoded.get());
  serializer_->WriteValue(message, &stream);
  return encoded;
}

// StandardMethodCodec

StandardMethodCodec::StandardMethodCodec(
    const StandardCodecSerializer* serializer)
    : serializer_(serializer) {}
StandardMethodCodec::~StandardMethodCodec() = default;

const StandardMethodCodec& StandardMethodCodec::GetInstance(
    const StandardCodecSerializer* serializer) {
  return CodecFor<StandardMethodCodec>(
      serializer, [](const StandardCodecSerializer* s) {
        return new StandardMethodCodec(s);
      });
}

std::unique_ptr<MethodCall<EncodableValue>>
StandardMethodCodec::DecodeMethodCallInternal(const uint8_t* message,
                                              size_t message_size) const {
  ByteBufferStreamReader stream(message, message_size);
  EncodableValue name = serializer_->ReadValue(&stream);
  const auto* method_name = std::get_if<std::string>(&name);
  if (stream.failed() || !method_name) {
    return nullptr;
  }
  auto arguments =
      std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
  if (stream.failed() || stream.BytesRemaining() != 0) {
    return nullptr;
  }
  return std::make_unique<MethodCall<EncodableValue>>(*method_name,
                                                      std::move(arguments));
}

std::unique_ptr<std::vector<uint8_t>>
StandardMethodCodec::EncodeMethodCallInternal(
    const MethodCall<EncodableValue>& method_call) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  ByteBufferStreamWriter stream(encoded.get());
  serializer_->WriteValue(EncodableValue(method_call.method_name()), &stream);
  if (method_call.arguments()) {
    serializer_->WriteValue(*method_call.arguments(), &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return encoded;
}

std::unique_ptr<std::vector<uint8_t>>
StandardMethodCodec::EncodeSuccessEnvelopeInternal(
    const EncodableValue* result) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  encoded->push_back(0);
  ByteBufferStreamWriter stream(encoded.get());
  if (result) {
    serializer_->WriteValue(*result, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return encoded;
}

std::unique_ptr<std::vector<uint8_t>>
StandardMethodCodec::EncodeErrorEnvelopeInternal(
    const std::string& error_code,
    const std::string& error_message,
    const EncodableValue* error_details) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  encoded->push_back(1);
  ByteBufferStreamWriter stream(encoded.get());
  serializer_->WriteValue(EncodableValue(error_code), &stream);
  if (error_message.empty()) {
    serializer_->WriteValue(EncodableValue(), &stream);
  } else {
    serializer_->WriteValue(EncodableValue(error_message), &stream);
  }
  if (error_details) {
    serializer_->WriteValue(*error_details, &stream);
  } else {
    serializer_->WriteValue(EncodableValue(), &stream);
  }
  return encoded;
}

bool StandardMethodCodec::DecodeAndProcessResponseEnvelopeInternal(
    const uint8_t* response,
    size_t response_size,
    MethodResult<EncodableValue>* result) const {
  internal::ResponseEnvelope envelope;
  if (!internal::DecodeResponseEnvelope(*serializer_, response, response_size,
                                        &envelope)) {
    return false;
  }
  if (!result) {
    return true;
  }
  if (envelope.success) {
    if (envelope.value.IsNull()) {
      result->Success();
    } else {
      result->Success(envelope.value);
    }
  } else if (envelope.value.IsNull()) {
    result->Error(envelope.error_code, envelope.error_message);
  } else {
    result->Error(envelope.error_code, envelope.error_message, envelope.value);
  }
  return true;
}

namespace internal {

bool DecodeResponseEnvelope(const StandardCodecSerializer& serializer,
                            const uint8_t* response,
                            size_t response_size,
                            ResponseEnvelope* envelope) {
  ByteBufferStreamReader stream(response, response_size);
  const uint8_t flag = stream.ReadByte();
  if (stream.failed()) {
    return false;
  }
  if (flag == 0) {
    EncodableValue value = serializer.ReadValue(&stream);
    if (stream.failed() || stream.BytesRemaining() != 0) {
      return false;
    }
    envelope->success = true;
    envelope->value = std::move(value);
    return true;
  }
  if (flag != 1) {
    return false;
  }
  EncodableValue code = serializer.ReadValue(&stream);
  EncodableValue message = serializer.ReadValue(&stream);
  EncodableValue details = serializer.ReadValue(&stream);
  if (stream.BytesRemaining() != 0) {
    // Some platforms append a stack trace: a string or null, nothing else.
    EncodableValue trace = serializer.ReadValue(&stream);
    if (!trace.IsNull() && !std::holds_alternative<std::string>(trace)) {
      stream.MarkFailed();
    }
  }
  auto* code_string = std::get_if<std::string>(&code);
  auto* message_string = std::get_if<std::string>(&message);
  if (stream.failed() || stream.BytesRemaining() != 0 || !code_string ||
      (!message.IsNull() && !message_string)) {
    return false;
  }
  envelope->success = false;
  envelope->error_code = std::move(*code_string);
  envelope->error_message =
      message_string ? std::move(*message_string) : std::string();
  envelope->value = std::move(details);
  return true;
}

}  // namespace internal

}  // namespace flutter
