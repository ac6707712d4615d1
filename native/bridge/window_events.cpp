// System news from the runner window's messages: the taskbar theme, session
// changes and documents handed over by a second instance.

#include <cwchar>

#include "bridge/native_services.h"
#include "common/text_conversion.h"
#include "keyboard/hook_watchdog.h"
#include "keyboard/modifier_tracking.h"

using flutter::EncodableValue;

bool taskbar_light_theme = false;
bool file_open_ready = false;
std::vector<std::string> pending_file_opens;

namespace {

void InvokeOpenFile(const std::string& path) {
  file_open_channel->InvokeMethod("openFile",
                                  std::make_unique<EncodableValue>(path));
}

}  // namespace

bool ReadTaskbarLightTheme() {
  DWORD value = 0;
  DWORD size = sizeof(value);
  const LSTATUS status = RegGetValueW(
      HKEY_CURRENT_USER,
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
      L"SystemUsesLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
  return status == ERROR_SUCCESS && value == 1;
}

void OnSettingChange(const wchar_t* setting_name) {
  if (!setting_name || std::wcscmp(setting_name, L"ImmersiveColorSet") != 0) {
    return;
  }
  const bool light = ReadTaskbarLightTheme();
  if (light == taskbar_light_theme) {
    return;
  }
  taskbar_light_theme = light;
  if (taskbar_theme_sink) {
    taskbar_theme_sink->Success(EncodableValue(light));
  }
}

void OnSessionChange(WPARAM change_code) {
  switch (change_code) {
    case WTS_CONSOLE_CONNECT:
    case WTS_REMOTE_CONNECT:
    case WTS_SESSION_LOGON:
    case WTS_SESSION_UNLOCK:
      // Key-ups lost while the desktop was away leave modifiers stuck, and
      // the hooks may have been dropped meanwhile.
      if (key_event_sink) {
        CheckStuckModifiers("session change");
        CheckHooksAfterAbsence();
      }
      break;
  }
}

void OnPowerBroadcast(WPARAM event) {
  if (event == PBT_APMRESUMEAUTOMATIC || event == PBT_APMRESUMESUSPEND) {
    CheckHooksAfterAbsence();
  }
}

bool ReceiveFileHandOver(const COPYDATASTRUCT* record) {
  if (!record || record->dwData != kFileHandOverTag || !record->lpData) {
    return false;
  }
  // Never past cbData: a record without a terminator, or with an odd size,
  // is cut to the whole units it holds.
  const auto* text = static_cast<const wchar_t*>(record->lpData);
  const size_t units = record->cbData / sizeof(wchar_t);
  size_t length = 0;
  while (length < units && text[length] != L'\0') {
    ++length;
  }
  DeliverFileOpen(Utf8FromUtf16(std::wstring(text, length)));
  return true;
}

void DeliverFileOpen(const std::string& path) {
  if (path.empty()) {
    return;
  }
  if (file_open_ready && file_open_channel) {
    InvokeOpenFile(path);
  } else {
    pending_file_opens.push_back(path);
  }
}

void HandleFileOpenCall(
    const flutter::MethodCall<EncodableValue>& call,
    std::unique_ptr<flutter::MethodResult<EncodableValue>> result) {
  if (call.method_name() != "fileOpenReady") {
    result->NotImplemented();
    return;
  }
  file_open_ready = true;
  std::vector<std::string> paths;
  paths.swap(pending_file_opens);
  for (const auto& path : paths) {
    InvokeOpenFile(path);
  }
  result->Success();
}
