#include "bridge/automation_dispatcher.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <unordered_map>

#include "bridge/native_services.h"
#include "bridge/text_conversion.h"
#include "context/foreground_restore.h"
#include "context/foreground_window.h"
#include "context/focused_control.h"
#include "diagnostics/capture_log.h"
#include "feedback/hud.h"
#include "feedback/key_sounds.h"
#include "injection/clipboard.h"
#include "injection/injection_queue.h"
#include "injection/input_synthesis.h"
#include "keyboard/key_hold.h"
#include "keyboard/typing_capture.h"
#include "layouts/layout_catalogue.h"
#include "layouts/layout_tables.h"

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

// The per-key delay is taken when the method is called, and each reply
// waits in the queue until the task's input was sent.
void Enqueue(std::function<void(int delay_ms, const InjectionContext&)> job,
             Reply& result) {
  const int delay_ms = static_cast<int>(key_delay_ms);
  EnqueueInjection(
      [job = std::move(job), delay_ms](const InjectionContext& context) {
        job(delay_ms, context);
      },
      std::move(result));
}

void Copy(const EncodableValue*, Reply& result) {
  Enqueue([](int delay, const InjectionContext&) { SendCtrlChord('C', delay); },
          result);
}

void Paste(const EncodableValue*, Reply& result) {
  Enqueue([](int delay, const InjectionContext&) { SendCtrlChord('V', delay); },
          result);
}

void Backspace(const EncodableValue* arguments, Reply& result) {
  const int count = GetIntArg(arguments, "count", 0);
  Enqueue([count](int delay, const InjectionContext&) {
    SendBackspaces(count, delay);
  }, result);
}

void TypeTextMethod(const EncodableValue* arguments, Reply& result) {
  std::wstring text = Utf16FromUtf8(GetStringArg(arguments, "text"));
  Enqueue([text = std::move(text)](int delay, const InjectionContext& context) {
    TypeText(text, delay, context.caps_lock_on);
  }, result);
}

void SetHoldWordEndMethod(const EncodableValue* arguments, Reply& result) {
  SetHoldWordEnd(GetBoolArg(arguments, "enabled", false));
  result->Success();
}

void ExtendHoldMethod(const EncodableValue* arguments, Reply& result) {
  ExtendHold(GetIntArg(arguments, "id", 0));
  result->Success();
}

void ReleaseHeldKeyMethod(const EncodableValue* arguments, Reply& result) {
  ReleaseHeldKey(GetIntArg(arguments, "id", 0));
  result->Success();
}

void SetTypingCapture(const EncodableValue* arguments, Reply& result) {
  if (GetBoolArg(arguments, "enabled", false)) {
    StartTypingCapture();
  } else {
    StopTypingCapture();
  }
  result->Success();
}

void SetKeySoundsMethod(const EncodableValue* arguments, Reply& result) {
  std::optional<KeySoundSamples> samples;
  const EncodableValue* given = FindArg(arguments, "samples");
  if (const auto* map = given ? std::get_if<EncodableMap>(given) : nullptr) {
    samples.emplace();
    for (const auto& [key, value] : *map) {
      const auto* name = std::get_if<std::string>(&key);
      const auto* bytes = std::get_if<std::vector<uint8_t>>(&value);
      if (name && bytes) {
        (*samples)[*name] = *bytes;
      }
    }
  }
  SetKeySounds(GetBoolArg(arguments, "enabled", false), samples);
  result->Success();
}

void PlayKeySoundMethod(const EncodableValue* arguments, Reply& result) {
  PlayKeySound(GetStringArg(arguments, "name"));
  result->Success();
}

void ShowHudMethod(const EncodableValue* arguments, Reply& result) {
  ShowHud(Utf16FromUtf8(GetStringArg(arguments, "text")));
  result->Success();
}

void IsPasswordFieldFocusedMethod(const EncodableValue*, Reply& result) {
  result->Success(EncodableValue(IsPasswordFieldFocused()));
}

void UiaSelectedTextMethod(const EncodableValue*, Reply& result) {
  result->Success(EncodableValue(UiaSelectedText()));
}

void ListKeyboardLayoutsMethod(const EncodableValue*, Reply& result) {
  flutter::EncodableList layouts;
  for (const LayoutEntry& entry : ListKeyboardLayouts()) {
    layouts.push_back(EncodableValue(EncodableMap{
        {EncodableValue("id"), EncodableValue(entry.id)},
        {EncodableValue("name"), EncodableValue(Utf8FromUtf16(entry.name))},
    }));
  }
  result->Success(EncodableValue(std::move(layouts)));
}

void SystemLayouts(const EncodableValue*, Reply& result) {
  result->Success(EncodableValue(BuildLayoutTables()));
}

void RunningLayoutSwitchersMethod(const EncodableValue*, Reply& result) {
  result->Success(EncodableValue(RunningLayoutSwitchers()));
}

void ForegroundWindowInfo(const EncodableValue*, Reply& result) {
  result->Success(EncodableValue(GetForegroundWindowInfo()));
}

void RememberForegroundWindowMethod(const EncodableValue*, Reply& result) {
  RememberForegroundWindow(GetForegroundWindow());
  result->Success();
}

void RestoreForegroundWindowMethod(const EncodableValue*, Reply& result) {
  result->Success(EncodableValue(RestoreForegroundWindow()));
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
      {"copy", Copy},
      {"paste", Paste},
      {"backspace", Backspace},
      {"typeText", TypeTextMethod},
      {"setHoldWordEnd", SetHoldWordEndMethod},
      {"extendHold", ExtendHoldMethod},
      {"releaseHeldKey", ReleaseHeldKeyMethod},
      {"setTypingCapture", SetTypingCapture},
      {"setKeySounds", SetKeySoundsMethod},
      {"playKeySound", PlayKeySoundMethod},
      {"showHud", ShowHudMethod},
      {"isPasswordFieldFocused", IsPasswordFieldFocusedMethod},
      {"uiaSelectedText", UiaSelectedTextMethod},
      {"listKeyboardLayouts", ListKeyboardLayoutsMethod},
      {"systemLayouts", SystemLayouts},
      {"runningLayoutSwitchers", RunningLayoutSwitchersMethod},
      {"foregroundWindowInfo", ForegroundWindowInfo},
      {"rememberForegroundWindow", RememberForegroundWindowMethod},
      {"restoreForegroundWindow", RestoreForegroundWindowMethod},
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
