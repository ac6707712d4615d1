#ifndef FLUTTER_BINARY_MESSENGER_IMPL_H_
#define FLUTTER_BINARY_MESSENGER_IMPL_H_

#include <flutter_messenger.h>

#include <map>
#include <string>

#include "include/flutter/binary_messenger.h"

namespace flutter {

// BinaryMessenger over the C messenger.
class BinaryMessengerImpl : public BinaryMessenger {
 public:
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef core_messenger);
  virtual ~BinaryMessengerImpl();
  BinaryMessengerImpl(BinaryMessengerImpl const&) = delete;
  BinaryMessengerImpl& operator=(BinaryMessengerImpl const&) = delete;

  void Send(const std::string& channel,
            const uint8_t* message,
            size_t message_size,
            BinaryReply reply) const override;
  void SetMessageHandler(const std::string& channel,
                         BinaryMessageHandler handler) override;

 private:
  FlutterDesktopMessengerRef messenger_;
  // Node addresses are stable: each is the user data of its C callback.
  std::map<std::string, BinaryMessageHandler> handlers_;
};

}  // namespace flutter

#endif  // FLUTTER_BINARY_MESSENGER_IMPL_H_
