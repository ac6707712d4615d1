#ifndef KORVEX_EMBEDDING_ENGINE_INTERNAL_H_
#define KORVEX_EMBEDDING_ENGINE_INTERNAL_H_

#include <flutter_windows.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "messenger_internal.h"

struct FlutterDesktopPluginRegistrar {
  FlutterDesktopEngine* engine = nullptr;
  // One per plug-in library: each keeps its own wrapper registrars.
  std::vector<FlutterDesktopOnPluginRegistrarDestroyed> destruction_handlers;
};

struct FlutterDesktopView {
  HWND hwnd = nullptr;
  FlutterDesktopEngine* engine = nullptr;
};

struct FlutterDesktopViewControllerState {
  FlutterDesktopEngine* engine = nullptr;
  std::unique_ptr<FlutterDesktopView> view;
};

struct FlutterDesktopEngine {
  std::wstring assets_path;
  std::wstring icu_data_path;
  std::wstring aot_library_path;
  std::string entrypoint;
  std::vector<std::string> arguments;

  PlatformChannels channels;
  FlutterDesktopPluginRegistrar registrar;
  FlutterDesktopView* view = nullptr;

  std::shared_ptr<PlatformInbox> platform;

  std::vector<std::pair<FlutterDesktopWindowProcCallback, void*>>
      window_proc_delegates;

  bool running = false;
  HMODULE app_module = nullptr;
  std::thread app_thread;
};

// What the view controller needs from the engine.
bool EngineRun(FlutterDesktopEngine* engine, const char* entry_point);

#endif  // KORVEX_EMBEDDING_ENGINE_INTERNAL_H_
