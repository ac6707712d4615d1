// The engine: loads the application module, runs it on its own thread, and
// serves the platform side from the thread that created the engine.

#include <algorithm>
#include <iostream>

#include "engine_internal.h"

namespace {

constexpr wchar_t kTaskWindowClass[] = L"FlutterStandInTaskWindow";
// How long shut-down waits for the application to return from its main.
constexpr auto kAppExitTimeout = std::chrono::seconds(5);

HMODULE ThisModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ThisModule), &module);
  return module;
}

std::wstring ExecutableFolder() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, &path[0],
                                      static_cast<DWORD>(path.size()));
    if (length == 0) {
      return std::wstring();
    }
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    path.resize(path.size() * 2);
  }
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

bool IsAbsolute(const std::wstring& path) {
  return (path.size() >= 2 && path[1] == L':') ||
         (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

std::wstring Resolve(const wchar_t* path) {
  if (!path) {
    return std::wstring();
  }
  std::wstring text(path);
  if (text.empty() || IsAbsolute(text)) {
    return text;
  }
  return ExecutableFolder() + L"\\" + text;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) {
    return std::string();
  }
  int size = WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                 static_cast<int>(text.size()), nullptr, 0,
                                 nullptr, nullptr);
  std::string result(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        &result[0], size, nullptr, nullptr);
  }
  return result;
}

LRESULT CALLBACK TaskWindowProc(HWND hwnd,
                                UINT message,
                                WPARAM wparam,
                                LPARAM lparam) {
  if (message == kRunTasksMessage) {
    auto* engine = reinterpret_cast<FlutterDesktopEngine*>(
        GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (engine) {
      RunPlatformTasks(engine->platform);
    }
    return 0;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

HWND CreateTaskWindow(FlutterDesktopEngine* engine) {
  static bool registered = false;
  if (!registered) {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.lpfnWndProc = TaskWindowProc;
    window_class.hInstance = ThisModule();
    window_class.lpszClassName = kTaskWindowClass;
    registered = RegisterClassExW(&window_class) != 0 ||
                 GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }
  HWND window = CreateWindowExW(0, kTaskWindowClass, L"", 0, 0, 0, 0, 0,
                                HWND_MESSAGE, nullptr, ThisModule(), nullptr);
  if (window) {
    SetWindowLongPtrW(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(engine));
  }
  return window;
}

void StopApplication(FlutterDesktopEngine* engine) {
  engine->channels.app->Stop();
  if (!engine->app_thread.joinable()) {
    return;
  }
  if (engine->channels.app->WaitForMainToReturn(kAppExitTimeout)) {
    engine->app_thread.join();
    if (engine->app_module) {
      FreeLibrary(engine->app_module);
    }
  } else {
    // An application that does not stop keeps its module, as unloading code
    // that still runs would crash the process, and its share of the
    // application side, which from now on only says "stopping".
    std::cerr << "The application did not stop; leaving it behind."
              << std::endl;
    engine->app_thread.detach();
  }
  engine->app_module = nullptr;
}

}  // namespace

bool EngineRun(FlutterDesktopEngine* engine, const char* entry_point) {
  if (!engine || engine->running) {
    return false;
  }
  if (entry_point && *entry_point) {
    engine->entrypoint = entry_point;
  }
  const DWORD assets = GetFileAttributesW(engine->assets_path.c_str());
  if (assets == INVALID_FILE_ATTRIBUTES ||
      !(assets & FILE_ATTRIBUTE_DIRECTORY)) {
    std::cerr << "Unable to start engine: no assets at "
              << Narrow(engine->assets_path) << std::endl;
    return false;
  }
  if (GetFileAttributesW(engine->icu_data_path.c_str()) ==
      INVALID_FILE_ATTRIBUTES) {
    std::cerr << "Unable to start engine: no ICU data at "
              << Narrow(engine->icu_data_path) << std::endl;
    return false;
  }
  HMODULE module = LoadLibraryW(engine->aot_library_path.c_str());
  auto app_main = module ? reinterpret_cast<FlutterDesktopAppMainFunction>(
                               reinterpret_cast<void*>(GetProcAddress(
                                   module, "FlutterDesktopAppMain")))
                         : nullptr;
  if (!app_main) {
    std::cerr << "Unable to start engine without AOT data: "
              << Narrow(engine->aot_library_path) << std::endl;
    if (module) {
      FreeLibrary(module);
    }
    return false;
  }
  engine->app_module = module;
  engine->running = true;
  // The thread takes nothing of the engine's: it may outlive it.
  engine->app_thread = std::thread([app = engine->channels.app, app_main,
                                    entrypoint = engine->entrypoint,
                                    arguments = engine->arguments] {
    std::vector<const char*> argv;
    for (const auto& argument : arguments) {
      argv.push_back(argument.c_str());
    }
    argv.push_back(nullptr);
    app_main(app.get(), entrypoint.c_str(),
             static_cast<int>(arguments.size()), argv.data());
    app->MainReturned();
  });
  return true;
}

FlutterDesktopEngineRef FlutterDesktopEngineCreate(
    const FlutterDesktopEngineProperties* properties) {
  if (!properties) {
    return nullptr;
  }
  auto engine = std::make_unique<FlutterDesktopEngine>();
  engine->assets_path = Resolve(properties->assets_path);
  engine->icu_data_path = Resolve(properties->icu_data_path);
  engine->aot_library_path = Resolve(properties->aot_library_path);
  engine->entrypoint =
      properties->dart_entrypoint && *properties->dart_entrypoint
          ? properties->dart_entrypoint
          : "main";
  for (int i = 0; i < properties->dart_entrypoint_argc; ++i) {
    const char* argument = properties->dart_entrypoint_argv
                               ? properties->dart_entrypoint_argv[i]
                               : nullptr;
    engine->arguments.emplace_back(argument ? argument : "");
  }
  engine->platform = std::make_shared<PlatformInbox>();
  engine->platform->window = CreateTaskWindow(engine.get());
  if (!engine->platform->window) {
    return nullptr;
  }
  PlatformChannels& channels = engine->channels;
  channels.messenger = new FlutterDesktopMessenger();
  channels.messenger->channels = &channels;
  channels.messenger->platform_thread = GetCurrentThreadId();
  channels.app = std::make_shared<FlutterDesktopAppMessenger>();
  channels.app->channels = &channels;
  channels.app->platform = engine->platform;
  engine->registrar.engine = engine.get();
  return engine.release();
}

bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  if (!engine) {
    return false;
  }
  StopApplication(engine);
  for (auto handler : engine->registrar.destruction_handlers) {
    handler(&engine->registrar);
  }
  {
    // Waits for any thread that is answering a message right now.
    std::lock_guard<std::recursive_mutex> lock(engine->channels.messenger->mutex);
    engine->channels.messenger->channels = nullptr;
  }
  FlutterDesktopMessengerRelease(engine->channels.messenger);
  // What is still queued was meant for this engine.
  engine->platform->Close();
  DestroyWindow(engine->platform->window);
  delete engine;
  return true;
}

bool FlutterDesktopEngineRun(FlutterDesktopEngineRef engine,
                             const char* entry_point) {
  return EngineRun(engine, entry_point);
}

uint64_t FlutterDesktopEngineProcessMessages(FlutterDesktopEngineRef engine) {
  if (engine) {
    RunPlatformTasks(engine->platform);
  }
  return 0;
}

void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef) {}

FlutterDesktopPluginRegistrarRef FlutterDesktopEngineGetPluginRegistrar(
    FlutterDesktopEngineRef engine,
    const char*) {
  // One registrar serves every plug-in of an engine.
  return engine ? &engine->registrar : nullptr;
}

FlutterDesktopMessengerRef FlutterDesktopEngineGetMessenger(
    FlutterDesktopEngineRef engine) {
  return engine ? engine->channels.messenger : nullptr;
}

// ---- Registrar ----

FlutterDesktopMessengerRef FlutterDesktopPluginRegistrarGetMessenger(
    FlutterDesktopPluginRegistrarRef registrar) {
  return registrar ? registrar->engine->channels.messenger : nullptr;
}

void FlutterDesktopPluginRegistrarSetDestructionHandler(
    FlutterDesktopPluginRegistrarRef registrar,
    FlutterDesktopOnPluginRegistrarDestroyed callback) {
  if (!registrar || !callback) {
    return;
  }
  auto& handlers = registrar->destruction_handlers;
  if (std::find(handlers.begin(), handlers.end(), callback) == handlers.end()) {
    handlers.push_back(callback);
  }
}

FlutterDesktopViewRef FlutterDesktopPluginRegistrarGetView(
    FlutterDesktopPluginRegistrarRef registrar) {
  return registrar ? registrar->engine->view : nullptr;
}

void FlutterDesktopPluginRegistrarRegisterTopLevelWindowProcDelegate(
    FlutterDesktopPluginRegistrarRef registrar,
    FlutterDesktopWindowProcCallback delegate,
    void* user_data) {
  if (registrar && delegate) {
    registrar->engine->window_proc_delegates.emplace_back(delegate, user_data);
  }
}

void FlutterDesktopPluginRegistrarUnregisterTopLevelWindowProcDelegate(
    FlutterDesktopPluginRegistrarRef registrar,
    FlutterDesktopWindowProcCallback delegate) {
  if (!registrar) {
    return;
  }
  auto& delegates = registrar->engine->window_proc_delegates;
  for (auto it = delegates.begin(); it != delegates.end();) {
    it = it->first == delegate ? delegates.erase(it) : it + 1;
  }
}

// ---- Utilities ----

UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  HMODULE shcore = LoadLibraryW(L"Shcore.dll");
  UINT dpi_x = 0;
  UINT dpi_y = 0;
  if (shcore) {
    auto get_dpi = reinterpret_cast<GetDpiForMonitorFn>(
        reinterpret_cast<void*>(GetProcAddress(shcore, "GetDpiForMonitor")));
    // 0: MDT_EFFECTIVE_DPI.
    if (get_dpi && monitor && FAILED(get_dpi(monitor, 0, &dpi_x, &dpi_y))) {
      dpi_x = 0;
    }
    FreeLibrary(shcore);
  }
  if (dpi_x == 0) {
    HDC screen = GetDC(nullptr);
    dpi_x = screen ? static_cast<UINT>(GetDeviceCaps(screen, LOGPIXELSX)) : 0;
    if (screen) {
      ReleaseDC(nullptr, screen);
    }
  }
  return dpi_x ? dpi_x : USER_DEFAULT_SCREEN_DPI;
}

UINT FlutterDesktopGetDpiForHWND(HWND hwnd) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (get_dpi && hwnd) {
    const UINT dpi = get_dpi(hwnd);
    if (dpi) {
      return dpi;
    }
  }
  return FlutterDesktopGetDpiForMonitor(
      MonitorFromWindow(hwnd, MONITOR_DEFAULTTONEAREST));
}

void FlutterDesktopResyncOutputStreams() {
  std::ios::sync_with_stdio(true);
}

FlutterDesktopAppMessengerRef FlutterDesktopEngineGetAppMessenger(
    FlutterDesktopEngineRef engine) {
  return engine ? engine->channels.app.get() : nullptr;
}
