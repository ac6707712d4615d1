// Both sides of the channels. Bytes cross threads only as copies in the
// two inboxes; every platform-side handler and reply runs on the platform
// thread, every application-side one on the application's, and the host
// sends, answers and sets handlers from the platform thread only.

#include <iostream>
#include <sstream>

#include "messenger_internal.h"

// The reply owed for one message to the platform.
struct _FlutterPlatformMessageResponseHandle {
  std::string channel;
  FlutterDesktopAppReplyCallback reply = nullptr;
  void* user_data = nullptr;
};

struct FlutterDesktopAppResponse {
  FlutterDesktopBinaryReply reply = nullptr;
  void* user_data = nullptr;
};

bool PlatformInbox::Post(Task task) {
  std::lock_guard<std::mutex> lock(mutex);
  if (closed) {
    return false;
  }
  tasks.push_back(std::move(task));
  // Under the lock: once closed, the window may be gone.
  PostMessageW(window, kRunTasksMessage, 0, 0);
  return true;
}

void PlatformInbox::Close() {
  // Destroyed after the lock is released: a task's captures are the
  // caller's and may do anything as they go.
  std::deque<Task> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex);
    closed = true;
    dropped.swap(tasks);
  }
}

bool FlutterDesktopAppMessenger::Post(Task task) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    if (stopping) {
      return false;
    }
    inbox.push_back(std::move(task));
  }
  wake.notify_all();
  return true;
}

bool FlutterDesktopAppMessenger::PostPlatform(Task task) {
  return !Stopping() && platform->Post(std::move(task));
}

bool FlutterDesktopAppMessenger::Stopping() {
  std::lock_guard<std::mutex> lock(mutex);
  return stopping;
}

void FlutterDesktopAppMessenger::Stop() {
  // Destroyed after the lock is released, as in PlatformInbox::Close.
  std::deque<Task> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex);
    stopping = true;
    dropped.swap(inbox);
  }
  wake.notify_all();
}

int FlutterDesktopAppMessenger::RunPending(uint32_t timeout_ms) {
  int ran = 0;
  std::unique_lock<std::mutex> lock(mutex);
  if (inbox.empty() && !stopping) {
    wake.wait_for(lock, std::chrono::milliseconds(timeout_ms),
                  [this] { return !inbox.empty() || stopping; });
  }
  while (!inbox.empty()) {
    Task task = std::move(inbox.front());
    inbox.pop_front();
    lock.unlock();
    task();
    ++ran;
    lock.lock();
  }
  return (ran == 0 && stopping) ? -1 : ran;
}

void FlutterDesktopAppMessenger::MainReturned() {
  std::lock_guard<std::mutex> lock(mutex);
  main_returned = true;
  main_returned_signal.notify_all();
}

bool FlutterDesktopAppMessenger::WaitForMainToReturn(
    std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex);
  return main_returned_signal.wait_for(lock, timeout,
                                       [this] { return main_returned; });
}

void RunPlatformTasks(std::shared_ptr<PlatformInbox> inbox) {
  // One at a time, so that a nested message loop inside a handler still
  // runs the rest in order.
  for (;;) {
    Task task;
    {
      std::lock_guard<std::mutex> lock(inbox->mutex);
      if (inbox->tasks.empty()) {
        return;
      }
      task = std::move(inbox->tasks.front());
      inbox->tasks.pop_front();
    }
    task();
  }
}

namespace {

// Runs on the platform thread.
void DeliverToPlatform(PlatformChannels* channels,
                       const std::string& channel,
                       const Bytes& message,
                       FlutterDesktopAppReplyCallback reply,
                       void* user_data) {
  auto found = channels->handlers.find(channel);
  if (found == channels->handlers.end()) {
    if (reply) {
      channels->app->Post([reply, user_data] { reply(nullptr, 0, user_data); });
    }
    return;
  }
  auto* handle =
      new _FlutterPlatformMessageResponseHandle{channel, reply, user_data};
  FlutterDesktopMessage c_message = {};
  c_message.struct_size = sizeof(c_message);
  c_message.channel = channel.c_str();
  c_message.message = message.empty() ? nullptr : message.data();
  c_message.message_size = message.size();
  c_message.response_handle = handle;
  const auto callback = found->second;
  callback.first(channels->messenger, &c_message, callback.second);
}

// Runs on the application's thread, which may have outlived the engine.
void DeliverToApp(FlutterDesktopAppMessenger* app,
                  const std::string& channel,
                  const Bytes& message,
                  FlutterDesktopBinaryReply reply,
                  void* user_data) {
  std::pair<FlutterDesktopAppMessageCallback, void*> callback{nullptr, nullptr};
  {
    std::lock_guard<std::mutex> lock(app->mutex);
    auto found = app->handlers.find(channel);
    if (found != app->handlers.end()) {
      callback = found->second;
    }
  }
  if (!callback.first) {
    // Nobody listens: an event is dropped, a call answered empty.
    if (reply) {
      app->PostPlatform([reply, user_data] { reply(nullptr, 0, user_data); });
    }
    return;
  }
  FlutterDesktopAppResponse* response =
      reply ? new FlutterDesktopAppResponse{reply, user_data} : nullptr;
  callback.first(channel.c_str(), message.empty() ? nullptr : message.data(),
                 message.size(), response, callback.second);
}

// The real engine takes channel traffic from the platform thread only; the
// host's call from any other is a fault, refused and said aloud so that its
// tests fail rather than race.
bool OnPlatformThread(FlutterDesktopMessengerRef messenger,
                      const char* function,
                      const char* channel) {
  const DWORD thread = GetCurrentThreadId();
  if (thread == messenger->platform_thread) {
    return true;
  }
  std::ostringstream line;
  line << function << " refused on channel \"" << (channel ? channel : "")
       << "\": called on thread " << thread << ", not the platform thread "
       << messenger->platform_thread << "\n";
  std::cerr << line.str() << std::flush;
  return false;
}

PlatformChannels* LiveChannels(FlutterDesktopMessengerRef messenger) {
  if (!messenger) {
    return nullptr;
  }
  std::lock_guard<std::recursive_mutex> lock(messenger->mutex);
  return messenger->channels;
}

bool SendToApp(const char* function,
               FlutterDesktopMessengerRef messenger,
               const char* channel,
               const uint8_t* message,
               size_t message_size,
               FlutterDesktopBinaryReply reply,
               void* user_data) {
  if (!messenger || !OnPlatformThread(messenger, function, channel)) {
    return false;
  }
  PlatformChannels* channels = LiveChannels(messenger);
  if (!channels || !channel) {
    return false;
  }
  std::string name(channel);
  Bytes bytes = CopyBytes(message, message_size);
  FlutterDesktopAppMessenger* app = channels->app.get();
  return app->Post([app, name, bytes, reply, user_data] {
    DeliverToApp(app, name, bytes, reply, user_data);
  });
}

}  // namespace

// ---- Platform side ----

bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                 const char* channel,
                                 const uint8_t* message,
                                 const size_t message_size) {
  return SendToApp("FlutterDesktopMessengerSend", messenger, channel, message,
                   message_size, nullptr, nullptr);
}

bool FlutterDesktopMessengerSendWithReply(FlutterDesktopMessengerRef messenger,
                                          const char* channel,
                                          const uint8_t* message,
                                          const size_t message_size,
                                          const FlutterDesktopBinaryReply reply,
                                          void* user_data) {
  return SendToApp("FlutterDesktopMessengerSendWithReply", messenger, channel,
                   message, message_size, reply, user_data);
}

void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger,
    const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data,
    size_t data_length) {
  if (!handle) {
    return;
  }
  std::unique_ptr<const _FlutterPlatformMessageResponseHandle> owned(handle);
  if (!messenger ||
      !OnPlatformThread(messenger, "FlutterDesktopMessengerSendResponse",
                        owned->channel.c_str())) {
    return;
  }
  PlatformChannels* channels = LiveChannels(messenger);
  if (!channels || !owned->reply) {
    return;
  }
  Bytes bytes = CopyBytes(data, data_length);
  auto reply = owned->reply;
  void* user_data = owned->user_data;
  channels->app->Post([reply, user_data, bytes] {
    reply(bytes.empty() ? nullptr : bytes.data(), bytes.size(), user_data);
  });
}

void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                        const char* channel,
                                        FlutterDesktopMessageCallback callback,
                                        void* user_data) {
  if (!messenger || !OnPlatformThread(messenger,
                                      "FlutterDesktopMessengerSetCallback",
                                      channel)) {
    return;
  }
  PlatformChannels* channels = LiveChannels(messenger);
  if (!channels || !channel) {
    return;
  }
  if (callback) {
    channels->handlers[channel] = {callback, user_data};
  } else {
    channels->handlers.erase(channel);
  }
}

FlutterDesktopMessengerRef FlutterDesktopMessengerAddRef(
    FlutterDesktopMessengerRef messenger) {
  if (messenger) {
    messenger->ref_count.fetch_add(1);
  }
  return messenger;
}

void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  if (messenger && messenger->ref_count.fetch_sub(1) == 1) {
    delete messenger;
  }
}

bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  return LiveChannels(messenger) != nullptr;
}

FlutterDesktopMessengerRef FlutterDesktopMessengerLock(
    FlutterDesktopMessengerRef messenger) {
  if (messenger) {
    messenger->mutex.lock();
  }
  return messenger;
}

void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef messenger) {
  if (messenger) {
    messenger->mutex.unlock();
  }
}

// ---- Application side ----

bool FlutterDesktopAppMessengerSend(FlutterDesktopAppMessengerRef messenger,
                                    const char* channel,
                                    const uint8_t* message,
                                    size_t message_size,
                                    FlutterDesktopAppReplyCallback reply,
                                    void* user_data) {
  if (!messenger || !channel) {
    return false;
  }
  PlatformChannels* channels = messenger->channels;
  std::string name(channel);
  Bytes bytes = CopyBytes(message, message_size);
  return messenger->PostPlatform([channels, name, bytes, reply, user_data] {
    DeliverToPlatform(channels, name, bytes, reply, user_data);
  });
}

void FlutterDesktopAppMessengerSetCallback(
    FlutterDesktopAppMessengerRef messenger,
    const char* channel,
    FlutterDesktopAppMessageCallback callback,
    void* user_data) {
  if (!messenger || !channel) {
    return;
  }
  std::lock_guard<std::mutex> lock(messenger->mutex);
  if (callback) {
    messenger->handlers[channel] = {callback, user_data};
  } else {
    messenger->handlers.erase(channel);
  }
}

void FlutterDesktopAppMessengerSendResponse(
    FlutterDesktopAppMessengerRef messenger,
    FlutterDesktopAppResponse* response,
    const uint8_t* data,
    size_t data_size) {
  if (!response) {
    return;
  }
  std::unique_ptr<FlutterDesktopAppResponse> owned(response);
  if (!messenger) {
    return;
  }
  Bytes bytes = CopyBytes(data, data_size);
  auto reply = owned->reply;
  void* user_data = owned->user_data;
  messenger->PostPlatform([reply, user_data, bytes] {
    reply(bytes.empty() ? nullptr : bytes.data(), bytes.size(), user_data);
  });
}

int FlutterDesktopAppMessengerRunPending(
    FlutterDesktopAppMessengerRef messenger,
    uint32_t timeout_ms) {
  if (!messenger) {
    return -1;
  }
  // A caller other than the application's thread holds no share of it, and
  // the engine may go while it waits.
  const auto keep = messenger->shared_from_this();
  return messenger->RunPending(timeout_ms);
}
