#ifndef FLUTTER_APP_APP_MESSENGER_H_
#define FLUTTER_APP_APP_MESSENGER_H_

// The application side of the channels in C++, with the standard method
// codec: what the application module and tests acting as the application
// use. Not thread-safe: use one object from the application's thread.

#include <flutter/encodable_value.h>
#include <flutter_app_messenger.h>

#include <functional>
#include <map>
#include <memory>
#include <string>

namespace flutter_app {

using flutter::EncodableValue;

struct Reply {
  enum class Kind { kSuccess, kError, kNotImplemented, kMalformed, kTimedOut };
  Kind kind = Kind::kTimedOut;
  EncodableValue value;  // The result, or the error details.
  std::string error_code;
  std::string error_message;
};

struct Event {
  enum class Kind { kData, kError, kEndOfStream, kMalformed };
  Kind kind = Kind::kData;
  EncodableValue value;
  std::string error_code;
  std::string error_message;
};

// What a handler of the host's calls answers.
struct Answer {
  enum class Kind { kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kNotImplemented;
  EncodableValue value;
  std::string error_code;
  std::string error_message;

  static Answer Success(EncodableValue value = EncodableValue());
  static Answer NotImplemented();
};

class AppMessenger {
 public:
  explicit AppMessenger(FlutterDesktopAppMessengerRef messenger);
  ~AppMessenger();
  AppMessenger(const AppMessenger&) = delete;
  AppMessenger& operator=(const AppMessenger&) = delete;

  FlutterDesktopAppMessengerRef ref() const { return messenger_; }

  // Calls |method|; |on_reply| runs on this thread from RunPending.
  void InvokeMethod(const std::string& channel,
                    const std::string& method,
                    const EncodableValue& arguments,
                    std::function<void(const Reply&)> on_reply);

  // Calls |method| and runs deliveries until its reply arrives, the engine
  // stops, or |timeout_ms| passes (kTimedOut).
  Reply CallMethod(const std::string& channel,
                   const std::string& method,
                   const EncodableValue& arguments = EncodableValue(),
                   int timeout_ms = 5000);

  // Sends raw bytes and waits for the raw reply; for tests of bad input.
  bool SendRaw(const std::string& channel,
               const std::vector<uint8_t>& message,
               std::vector<uint8_t>* reply,
               int timeout_ms = 5000);

  // Serves the host's calls on |channel|; null stops serving them.
  void SetMethodCallHandler(
      const std::string& channel,
      std::function<Answer(const std::string& method,
                           const EncodableValue& arguments)> handler);

  // Starts receiving the stream's events ("listen"); the reply says
  // whether the host accepted.
  Reply Listen(const std::string& channel,
               const EncodableValue& arguments,
               std::function<void(const Event&)> on_event,
               int timeout_ms = 5000);
  // Stops receiving first, then asks the host to stop ("cancel").
  Reply Cancel(const std::string& channel,
               const EncodableValue& arguments = EncodableValue(),
               int timeout_ms = 5000);

  // Runs pending deliveries; -1 once the engine is stopping.
  int RunPending(int timeout_ms);
  // Runs deliveries until |done| holds (true) or the time is up (false).
  bool RunUntil(const std::function<bool()>& done, int timeout_ms);

 private:
  struct Channel;
  static void OnMessage(const char* channel,
                        const uint8_t* message,
                        size_t message_size,
                        FlutterDesktopAppResponse* response,
                        void* user_data);
  Channel& ChannelFor(const std::string& name);
  void Attach(const std::string& name);
  void DetachIfIdle(const std::string& name);

  FlutterDesktopAppMessengerRef messenger_;
  std::map<std::string, std::unique_ptr<Channel>> channels_;
  bool stopping_ = false;
};

}  // namespace flutter_app

#endif  // FLUTTER_APP_APP_MESSENGER_H_
