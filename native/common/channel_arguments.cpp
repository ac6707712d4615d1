#include "common/channel_arguments.h"

using flutter::EncodableMap;
using flutter::EncodableValue;

const EncodableValue* FindArg(const EncodableValue* arguments,
                              const char* key) {
  const auto* map = arguments ? std::get_if<EncodableMap>(arguments) : nullptr;
  if (!map) {
    return nullptr;
  }
  auto found = map->find(EncodableValue(key));
  return found == map->end() ? nullptr : &found->second;
}

bool GetBoolArg(const EncodableValue* arguments,
                const char* key,
                bool default_value) {
  const EncodableValue* value = FindArg(arguments, key);
  const bool* flag = value ? std::get_if<bool>(value) : nullptr;
  return flag ? *flag : default_value;
}

int32_t GetIntArg(const EncodableValue* arguments,
                  const char* key,
                  int32_t default_value) {
  const EncodableValue* value = FindArg(arguments, key);
  if (!value) {
    return default_value;
  }
  if (const auto* number = std::get_if<int32_t>(value)) {
    return *number;
  }
  if (const auto* number = std::get_if<int64_t>(value)) {
    return static_cast<int32_t>(static_cast<uint32_t>(
        static_cast<uint64_t>(*number) & 0xFFFFFFFFu));
  }
  return default_value;
}

std::string GetStringArg(const EncodableValue* arguments, const char* key) {
  const EncodableValue* value = FindArg(arguments, key);
  const std::string* text = value ? std::get_if<std::string>(value) : nullptr;
  return text ? *text : std::string();
}
