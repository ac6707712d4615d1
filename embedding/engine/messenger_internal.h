#ifndef KORVEX_EMBEDDING_MESSENGER_INTERNAL_H_
#define KORVEX_EMBEDDING_MESSENGER_INTERNAL_H_

// The messengers of both sides and the inboxes between them; what the
// engine builds them on is its own business.

#include <flutter_app_messenger.h>
#include <flutter_windows.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;
using Task = std::function<void()>;

inline Bytes CopyBytes(const uint8_t* data, size_t size) {
  return data && size > 0 ? Bytes(data, data + size) : Bytes();
}

// Posted to the platform inbox's window for each task.
constexpr UINT kRunTasksMessage = WM_APP + 1;

// The platform thread's inbox, drained from its message loop through a
// message-only window. Shared with the application side, which posts to it
// without touching the engine, and with the drain: a task may destroy the
// engine, and the drain must then stop without touching it.
struct PlatformInbox {
  std::mutex mutex;
  std::deque<Task> tasks;
  HWND window = nullptr;
  bool closed = false;

  // False, and the task dropped, once closed.
  bool Post(Task task);
  // Drops what is queued; nothing runs after this.
  void Close();
};

// Runs queued tasks until none is left; closing empties the inbox.
void RunPlatformTasks(std::shared_ptr<PlatformInbox> inbox);

// The application side: its inbox, drained by whoever acts as the
// application (its thread calls RunPending). Shared by the engine and the
// application's thread: an application that outlives its engine only ever
// finds it stopping.
struct PlatformChannels;

struct FlutterDesktopAppMessenger
    : std::enable_shared_from_this<FlutterDesktopAppMessenger> {
  // Captured by the tasks sent to the platform, which run only while the
  // engine lives; never dereferenced here.
  PlatformChannels* channels = nullptr;
  std::shared_ptr<PlatformInbox> platform;

  std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> inbox;
  bool stopping = false;
  bool main_returned = false;
  std::condition_variable main_returned_signal;
  std::map<std::string,
           std::pair<FlutterDesktopAppMessageCallback, void*>> handlers;

  // Both false, and the task dropped, once the engine is stopping.
  bool Post(Task task);
  bool PostPlatform(Task task);
  bool Stopping();
  void Stop();
  int RunPending(uint32_t timeout_ms);
  void MainReturned();
  bool WaitForMainToReturn(std::chrono::milliseconds timeout);
};

// The platform side's messenger; outlives its engine while referenced.
struct FlutterDesktopMessenger {
  std::atomic<int> ref_count{1};
  std::recursive_mutex mutex;
  PlatformChannels* channels = nullptr;  // Null once the engine is gone.
  DWORD platform_thread = 0;             // The engine's creator.
};

// What an engine routes its channels through: the platform side's handlers
// and both messengers. The engine owns it and lives as long.
struct PlatformChannels {
  FlutterDesktopMessenger* messenger = nullptr;
  std::shared_ptr<FlutterDesktopAppMessenger> app;
  std::map<std::string, std::pair<FlutterDesktopMessageCallback, void*>>
      handlers;
};

#endif  // KORVEX_EMBEDDING_MESSENGER_INTERNAL_H_
