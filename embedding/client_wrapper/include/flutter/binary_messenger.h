#ifndef FLUTTER_BINARY_MESSENGER_H_
#define FLUTTER_BINARY_MESSENGER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Sends a reply to an incoming message; callable once.
typedef std::function<void(const uint8_t* reply, size_t reply_size)>
    BinaryReply;

// Handles an incoming message, replying through |reply|.
typedef std::function<
    void(const uint8_t* message, size_t message_size, BinaryReply reply)>
    BinaryMessageHandler;

// Sends binary messages to the application and receives its messages.
class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // |reply| receives the application's answer; an empty one means no
  // handler answered.
  virtual void Send(const std::string& channel,
                    const uint8_t* message,
                    size_t message_size,
                    BinaryReply reply = nullptr) const = 0;

  // A null handler removes the channel's handler.
  virtual void SetMessageHandler(const std::string& channel,
                                 BinaryMessageHandler handler) = 0;
};

}  // namespace flutter

#endif  // FLUTTER_BINARY_MESSENGER_H_
