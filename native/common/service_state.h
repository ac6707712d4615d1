#ifndef KORVEX_NATIVE_COMMON_SERVICE_STATE_H_
#define KORVEX_NATIVE_COMMON_SERVICE_STATE_H_

#include <flutter/encodable_value.h>
#include <flutter/event_channel.h>
#include <flutter/event_sink.h>
#include <flutter/method_channel.h>
#include <windows.h>

#include <cstdint>
#include <memory>

// Process-wide state every service reads. The hook procedures, timer
// callbacks and window procedures that reach it carry no context, so it is
// global; all of it is touched only on the main thread.
extern HWND main_window;
extern std::unique_ptr<flutter::EventChannel<flutter::EncodableValue>>
    key_events_channel;
extern std::unique_ptr<flutter::EventChannel<flutter::EncodableValue>>
    taskbar_theme_channel;
extern std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>>
    automation_channel;
extern std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>>
    file_open_channel;
extern std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>>
    notifications_channel;
// Non-null exactly while the application listens to "korvex/key_events".
extern std::unique_ptr<flutter::EventSink<flutter::EncodableValue>>
    key_event_sink;
extern std::unique_ptr<flutter::EventSink<flutter::EncodableValue>>
    taskbar_theme_sink;

// The environment switches, read at set-up.
extern bool accept_injected;
extern uint32_t key_delay_ms;
extern bool trace_enabled;

#endif  // KORVEX_NATIVE_COMMON_SERVICE_STATE_H_
