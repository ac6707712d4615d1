#ifndef FLUTTER_BINARY_MESSENGER_IMPL_H_
#define FLUTTER_BINARY_MESSENGER_IMPL_H_

#include <flutter_messenger.h>

#include <map>
#include <memory>
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
  // Shared, so that a handler survives being replaced or destroyed, with
  // the messenger, while it runs.
  std::map<std::string, std::shared_ptr<BinaryMessageHandler>> handlers_;
};

}  // namespace flutter

#endif  // FLUTTER_BINARY_MESSENGER_IMPL_H_
