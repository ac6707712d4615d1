#ifndef KORVEX_NATIVE_BRIDGE_NATIVE_SERVICES_H_
#define KORVEX_NATIVE_BRIDGE_NATIVE_SERVICES_H_

#include <flutter/encodable_value.h>
#include <flutter/event_channel.h>
#include <flutter/event_sink.h>
#include <flutter/flutter_engine.h>
#include <flutter/method_channel.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/service_state.h"

// Theme stream and document hand-over.
extern bool taskbar_light_theme;
extern bool file_open_ready;
extern std::vector<std::string> pending_file_opens;

// The tag of a document hand-over record: "KVD".
constexpr ULONG_PTR kFileHandOverTag = 0x4B5644;

void SetUpNativeServices(flutter::FlutterEngine* engine, HWND window);
// Harmless before set-up.
void ShutDownNativeServices();

// Reads the three environment switches into the state above.
void ReadEnvironmentSwitches();

// Window messages the runner window passes on.
void OnSettingChange(const wchar_t* setting_name);
void OnSessionChange(WPARAM change_code);
// A resume from sleep: the hooks are looked at at once.
void OnPowerBroadcast(WPARAM event);
bool ReceiveFileHandOver(const COPYDATASTRUCT* record);
void DeliverFileOpen(const std::string& path);
bool ReadTaskbarLightTheme();

void HandleFileOpenCall(
    const flutter::MethodCall<flutter::EncodableValue>& call,
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);

#endif  // KORVEX_NATIVE_BRIDGE_NATIVE_SERVICES_H_
