#include "bridge/automation_dispatcher.h"

#include <windows.h>

#include <functional>
#include <optional>
#include <unordered_map>
#include <vector>

#include "common/capture_log.h"
#include "common/channel_arguments.h"
#include "common/service_state.h"
#include "common/text_conversion.h"
#include "context/focused_control.h"
#include "context/foreground_restore.h"
#include "context/foreground_window.h"
#include "feedback/hud.h"
#include "feedback/key_sounds.h"
#include "injection/clipboard.h"
#include "injection/injection_queue.h"
#include "injection/injection_target.h"
#include "injection/input_synthesis.h"
#include "keyboard/hot_keys.h"
#include "keyboard/key_hold.h"
#include "keyboard/typing_capture.h"
#include "layouts/layout_catalogue.h"
#include "layouts/layout_tables.h"

using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

using Reply = std::unique_ptr<flutter::MethodResult<EncodableValue>>;
using MethodHandler = std::function<void(const EncodableValue*, Reply&)>;


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
// waits in the queue until the task's input was sent. The task is bound to
// the window and control in front now; when that is no longer where the
// last key the application heard of was typed, the user has gone elsewhere
// since, and nothing is typed.
void Enqueue(std::function<bool(int delay_ms, const InjectionContext&)> job,
             Reply& result) {
  const InjectionTarget target = TargetInFront();
  if (last_key_target.window && !(target == last_key_target)) {
    WriteTraceLine("inject: the window of the last key left the front, refused");
    result->Success(EncodableValue(false));
    return;
  }
  const int delay_ms = static_cast<int>(key_delay_ms);
  EnqueueInjection(
      [job = std::move(job), delay_ms](const InjectionContext& context) {
        return job(delay_ms, context);
      },
      std::move(result), &target);
}

void Copy(const EncodableValue*, Reply& result) {
  Enqueue([](int delay, const InjectionContext&) {
    return SendCtrlChord('C', delay);
  }, result);
}

void Paste(const EncodableValue*, Reply& result) {
  Enqueue([](int delay, const InjectionContext&) {
    return SendCtrlChord('V', delay);
  }, result);
}

// More than an editor line's worth is no replacement: answered false
// without typing, so that nothing holds the user's keys for long.
void Backspace(const EncodableValue* arguments, Reply& result) {
  const int count = GetIntArg(arguments, "count", 0);
  if (count > static_cast<int>(kMaxInjectedUnits)) {
    result->Success(EncodableValue(false));
    return;
  }
  Enqueue([count](int delay, const InjectionContext&) {
    return SendBackspaces(count, delay);
  }, result);
}

void TypeTextMethod(const EncodableValue* arguments, Reply& result) {
  std::wstring text = Utf16FromUtf8(GetStringArg(arguments, "text"));
  if (text.size() > kMaxInjectedUnits) {
    result->Success(EncodableValue(false));
    return;
  }
  Enqueue([text = std::move(text)](int delay, const InjectionContext& context) {
    return TypeText(text, delay, context.caps_lock_on);
  }, result);
}

void SetHoldWordEndMethod(const EncodableValue* arguments, Reply& result) {
  SetHoldWordEnd(GetBoolArg(arguments, "enabled", false));
  result->Success();
}

// Both answer whether the key was still held: false once its timer let it
// go, so that the application knows it reached the text without it.
void ExtendHoldMethod(const EncodableValue* arguments, Reply& result) {
  result->Success(EncodableValue(ExtendHold(GetIntArg(arguments, "id", 0))));
}

void ReleaseHeldKeyMethod(const EncodableValue* arguments, Reply& result) {
  result->Success(
      EncodableValue(ReleaseHeldKey(GetIntArg(arguments, "id", 0))));
}

// "keys": a list of maps, "keycode" with "control", "shift", "alt" and
// "meta"; anything else names no chord.
void SetHotKeysMethod(const EncodableValue* arguments, Reply& result) {
  std::vector<HotKey> keys;
  const EncodableValue* given = FindArg(arguments, "keys");
  if (const auto* list = given ? std::get_if<flutter::EncodableList>(given) : nullptr) {
    for (const EncodableValue& item : *list) {
      if (keys.size() == kMaxHotKeys) {
        break;
      }
      const int32_t vk = GetIntArg(&item, "keycode", 0);
      if (vk <= 0 || vk > 0xFE) {
        continue;
      }
      HotKey key;
      key.vk = static_cast<DWORD>(vk);
      key.control = GetBoolArg(&item, "control", false);
      key.shift = GetBoolArg(&item, "shift", false);
      key.alt = GetBoolArg(&item, "alt", false);
      key.meta = GetBoolArg(&item, "meta", false);
      keys.push_back(key);
    }
  }
  SetHotKeys(std::move(keys));
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
      // Sounds are a click per layout: the rest is left out, the main
      // thread copies and checks each.
      if (name && bytes && samples->size() < kMaxKeySounds &&
          bytes->size() <= kMaxKeySoundBytes) {
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
  std::wstring text = Utf16FromUtf8(GetStringArg(arguments, "text"));
  // A bubble shows a word or two; the window measures what it is given.
  if (text.size() > kMaxHudUnits) {
    text.resize(IS_HIGH_SURROGATE(text[kMaxHudUnits - 1]) ? kMaxHudUnits - 1
                                                          : kMaxHudUnits);
  }
  ShowHud(text);
  result->Success();
}

// Null when UI Automation did not answer.
void IsPasswordFieldFocusedMethod(const EncodableValue*, Reply& result) {
  const std::optional<bool> password = IsPasswordFieldFocused();
  result->Success(password ? EncodableValue(*password) : EncodableValue());
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
      {"setHotKeys", SetHotKeysMethod},
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
