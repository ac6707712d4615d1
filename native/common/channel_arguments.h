#ifndef KORVEX_NATIVE_COMMON_CHANNEL_ARGUMENTS_H_
#define KORVEX_NATIVE_COMMON_CHANNEL_ARGUMENTS_H_

#include <flutter/encodable_value.h>

#include <cstdint>
#include <string>

// Typed reads of a call's arguments: anything but a map counts as no
// arguments, and a missing key or a value of another type gives the default.
const flutter::EncodableValue* FindArg(const flutter::EncodableValue* arguments,
                                       const char* key);
bool GetBoolArg(const flutter::EncodableValue* arguments,
                const char* key,
                bool default_value);
// A 64-bit integer gives its low 32 bits as a signed value.
int32_t GetIntArg(const flutter::EncodableValue* arguments,
                  const char* key,
                  int32_t default_value);
std::string GetStringArg(const flutter::EncodableValue* arguments,
                         const char* key);

#endif  // KORVEX_NATIVE_COMMON_CHANNEL_ARGUMENTS_H_
