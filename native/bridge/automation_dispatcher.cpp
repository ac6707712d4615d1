#include "bridge/automation_dispatcher.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <unordered_map>

#include "bridge/native_services.h"
#include "bridge/text_conversion.h"
#include "diagnostics/capture_log.h"
#include "injection/clipboard.h"

using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

using Reply = std::unique_ptr<flutter::MethodResult<EncodableValue>>;
using MethodHandler = std::function<void(const EncodableValue*, Reply&)>;

const EncodableValue* FindArg(const EncodableValue* arguments,
                              const char* key) {
  const auto* map = arguments ? std::get_if<EncodableMap>(arguments) : nullptr;
  if (!map) {
    return nullptr;
  }
  auto found = map->find(EncodableValue(key));
  return found == map->end() ? nullptr : &found->second;
}

void SetLogDirectory(const EncodableValue* arguments, Reply& result) {
  // Opened at most once, and only when tracing was on at start.
  if (trace_enabled && !capture_log) {
    OpenCaptureLog(Utf16FromUtf8(GetStringArg(arguments, "path")));
  }
  result->Success();
}

void ClipboardChangeCount(const EncodableValue*, Reply& result) {
  result->Success(
      EncodableValue(static_cast<int32_t>(GetClipboardSequenceNumber())));
}

void ReadClipboard(const EncodableValue*, Reply& result) {
  std::optional<std::wstring> text = ReadClipboardText();
  if (text) {
    result->Success(EncodableValue(Utf8FromUtf16(*text)));
  } else {
    result->Success();
  }
}

void WriteClipboard(const EncodableValue* arguments, Reply& result) {
  result->Success(EncodableValue(
      WriteClipboardText(Utf16FromUtf8(GetStringArg(arguments, "text")))));
}

void SaveClipboardMethod(const EncodableValue*, Reply& result) {
  SaveClipboard();
  result->Success();
}

void RestoreClipboardMethod(const EncodableValue*, Reply& result) {
  RestoreSavedClipboard();
  result->Success();
}

// The methods served so far; any other name answers not-implemented.
const std::unordered_map<std::string, MethodHandler>& MethodTable() {
  static const auto* table = new std::unordered_map<std::string, MethodHandler>{
      {"clipboardChangeCount", ClipboardChangeCount},
      {"readClipboardText", ReadClipboard},
      {"writeClipboardText", WriteClipboard},
      {"setLogDirectory", SetLogDirectory},
      {"saveClipboard", SaveClipboardMethod},
      {"restoreClipboard", RestoreClipboardMethod},
  };
  return *table;
}

}  // namespace

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

void HandleAutomationCall(
    const flutter::MethodCall<EncodableValue>& call,
    std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
  const auto& table = MethodTable();
  auto found = table.find(call.method_name());
  if (found == table.end()) {
    result->NotImplemented();
    return;
  }
  found->second(call.arguments(), result);
}
