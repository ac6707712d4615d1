#include "common/service_state.h"

using flutter::EncodableValue;

HWND main_window = nullptr;
std::unique_ptr<flutter::EventChannel<EncodableValue>> key_events_channel;
std::unique_ptr<flutter::EventChannel<EncodableValue>> taskbar_theme_channel;
std::unique_ptr<flutter::MethodChannel<EncodableValue>> automation_channel;
std::unique_ptr<flutter::MethodChannel<EncodableValue>> file_open_channel;
std::unique_ptr<flutter::MethodChannel<EncodableValue>> notifications_channel;
std::unique_ptr<flutter::EventSink<EncodableValue>> key_event_sink;
std::unique_ptr<flutter::EventSink<EncodableValue>> taskbar_theme_sink;
bool accept_injected = false;
uint32_t key_delay_ms = 3;
bool trace_enabled = false;
