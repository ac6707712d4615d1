#ifndef KORVEX_EMBEDDING_ENGINE_INTERNAL_H_
#define KORVEX_EMBEDDING_ENGINE_INTERNAL_H_

#include <flutter_app_messenger.h>
#include <flutter_windows.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;
using Task = std::function<void()>;

inline Bytes CopyBytes(const uint8_t* data, size_t size) {
  return data && size > 0 ? Bytes(data, data + size) : Bytes();
}

// The application side: its inbox, drained by whoever acts as the
// application (its thread calls RunPending).
struct FlutterDesktopAppMessenger {
  FlutterDesktopEngine* engine = nullptr;
  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> inbox;
  bool stopping = false;
  std::map<std::string,
           std::pair<FlutterDesktopAppMessageCallback, void*>> handlers;

  // False, and the task dropped, once the engine is stopping.
  bool Post(Task task);
  bool Stopping();
  int RunPending(uint32_t timeout_ms);
};

// The platform side's messenger; outlives its engine while referenced.
struct FlutterDesktopMessenger {
  std::atomic<int> ref_count{1};
  std::recursive_mutex mutex;
  FlutterDesktopEngine* engine = nullptr;  // Null once the engine is gone.
};

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

  FlutterDesktopMessenger* messenger = nullptr;
  FlutterDesktopAppMessenger app;
  FlutterDesktopPluginRegistrar registrar;
  FlutterDesktopView* view = nullptr;

  // The platform thread's inbox, drained from its message loop through a
  // message-only window.
  HWND task_window = nullptr;
  std::mutex platform_mutex;
  std::deque<Task> platform_inbox;
  std::map<std::string, std::pair<FlutterDesktopMessageCallback, void*>>
      handlers;

  std::vector<std::pair<FlutterDesktopWindowProcCallback, void*>>
      window_proc_delegates;

  bool running = false;
  HMODULE app_module = nullptr;
  std::thread app_thread;
  std::mutex app_done_mutex;
  std::condition_variable app_done_signal;
  bool app_done = false;

  void PostPlatform(Task task);
  void RunPlatformTasks();
};

// What the view controller needs from the engine.
bool EngineRun(FlutterDesktopEngine* engine, const char* entry_point);

#endif  // KORVEX_EMBEDDING_ENGINE_INTERNAL_H_
