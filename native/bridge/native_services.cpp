#include "bridge/native_services.h"

#include <flutter/event_stream_handler_functions.h>
#include <flutter/standard_method_codec.h>
#include <wtsapi32.h>

#include <cwchar>
#include <cstdlib>

#include "bridge/automation_dispatcher.h"
#include "feedback/tray.h"
#include "injection/injection_queue.h"
#include "keyboard/key_queue.h"
#include "keyboard/keyboard_hook.h"

using flutter::EncodableValue;


namespace {

using StreamError = std::unique_ptr<flutter::StreamHandlerError<EncodableValue>>;
using Sink = std::unique_ptr<flutter::EventSink<EncodableValue>>;

constexpr uint32_t kMaxKeyDelayMs = 200;

// True when the variable is set and its first unit is "1".
bool SwitchIsOn(const wchar_t* name) {
  wchar_t value[8] = {};
  return GetEnvironmentVariableW(name, value, 8) != 0 && value[0] == L'1';
}

StreamError OnKeyEventsListenHandler(const EncodableValue*, Sink&& sink) {
  OnKeyEventsListen(std::move(sink));
  return nullptr;
}

StreamError OnKeyEventsCancelHandler(const EncodableValue*) {
  OnKeyEventsCancel();
  return nullptr;
}

StreamError OnTaskbarThemeListen(const EncodableValue*, Sink&& sink) {
  taskbar_theme_sink = std::move(sink);
  taskbar_light_theme = ReadTaskbarLightTheme();
  taskbar_theme_sink->Success(EncodableValue(taskbar_light_theme));
  return nullptr;
}

StreamError OnTaskbarThemeCancel(const EncodableValue*) {
  taskbar_theme_sink.reset();
  return nullptr;
}

}  // namespace

void ReadEnvironmentSwitches() {
  accept_injected = SwitchIsOn(L"KORVEX_ACCEPT_INJECTED");
  wchar_t delay[16] = {};
  const DWORD length = GetEnvironmentVariableW(L"KORVEX_KEY_DELAY_MS", delay, 16);
  // A value too long for the buffer is not read at all: the default holds.
  if (length != 0 && length < 16) {
    const uint32_t value = static_cast<uint32_t>(_wtoi(delay));
    if (value <= kMaxKeyDelayMs) {
      key_delay_ms = value;
    }
  }
  trace_enabled = SwitchIsOn(L"KORVEX_TRACE");
}

void SetUpNativeServices(flutter::FlutterEngine* engine, HWND window) {
  main_window = window;
  if (window) {
    WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION);
  }
  ReadEnvironmentSwitches();
  if (!engine || !engine->messenger()) {
    return;
  }
  flutter::BinaryMessenger* messenger = engine->messenger();
  const auto* codec = &flutter::StandardMethodCodec::GetInstance();

  key_events_channel = std::make_unique<flutter::EventChannel<EncodableValue>>(
      messenger, "korvex/key_events", codec);
  key_events_channel->SetStreamHandler(
      std::make_unique<flutter::StreamHandlerFunctions<EncodableValue>>(
          OnKeyEventsListenHandler, OnKeyEventsCancelHandler));

  taskbar_theme_channel =
      std::make_unique<flutter::EventChannel<EncodableValue>>(
          messenger, "korvex/taskbar_theme", codec);
  taskbar_theme_channel->SetStreamHandler(
      std::make_unique<flutter::StreamHandlerFunctions<EncodableValue>>(
          OnTaskbarThemeListen, OnTaskbarThemeCancel));

  automation_channel = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      messenger, "korvex/automation", codec);
  automation_channel->SetMethodCallHandler(HandleAutomationCall);

  file_open_channel = std::make_unique<flutter::MethodChannel<EncodableValue>>(
      messenger, "korvex/file_open", codec);
  file_open_channel->SetMethodCallHandler(HandleFileOpenCall);

  notifications_channel =
      std::make_unique<flutter::MethodChannel<EncodableValue>>(
          messenger, "korvex/notifications", codec);
  notifications_channel->SetMethodCallHandler(HandleNotificationsCall);
}

void ShutDownNativeServices() {
  if (key_event_sink) {
    // The message loop ends with the window: no hook may be left to a thread
    // that no longer answers, and a held key would never be sent.
    OnKeyEventsCancel();
  }
  FlushInjectionQueue();
  ReleaseAllKeptKeys();
  ShutDownInjectionWorker();
  if (main_window) {
    WTSUnRegisterSessionNotification(main_window);
    main_window = nullptr;
  }
  // Nothing may outlive the messenger, which goes with the engine right
  // after this: no handler, sink or channel is left to reach it.
  taskbar_theme_sink.reset();
  for (auto* channel : {&key_events_channel, &taskbar_theme_channel}) {
    if (*channel) {
      (*channel)->SetStreamHandler(nullptr);
      channel->reset();
    }
  }
  for (auto* channel :
       {&automation_channel, &file_open_channel, &notifications_channel}) {
    if (*channel) {
      (*channel)->SetMethodCallHandler(nullptr);
      channel->reset();
    }
  }
}
