// The non-template parts of the client wrapper over the C API.

#include <flutter_messenger.h>
#include <flutter_plugin_registrar.h>

#include <iostream>
#include <memory>
#include <utility>

#include "binary_messenger_impl.h"
#include "include/flutter/engine_method_result.h"

namespace flutter {

namespace {

// The C callback for every channel with a handler.
void ForwardToHandler(FlutterDesktopMessengerRef messenger,
                      const FlutterDesktopMessage* message,
                      void* user_data) {
  auto* response_handle = message->response_handle;
  std::shared_ptr<FlutterDesktopMessenger> messenger_ptr(
      FlutterDesktopMessengerAddRef(messenger),
      &FlutterDesktopMessengerRelease);
  BinaryReply reply_handler = [messenger_ptr, response_handle](
                                  const uint8_t* reply,
                                  size_t reply_size) mutable {
    // Belongs on the platform thread: the engine refuses, aloud, a reply
    // from any other. The lock holds off the engine's destruction between
    // the check and the send.
    FlutterDesktopMessengerRef locked =
        FlutterDesktopMessengerLock(messenger_ptr.get());
    if (FlutterDesktopMessengerIsAvailable(locked)) {
      if (!response_handle) {
        std::cerr << "Error: Response can be set only once. Ignoring "
                     "duplicate response."
                  << std::endl;
      } else {
        FlutterDesktopMessengerSendResponse(locked, response_handle, reply,
                                            reply_size);
        response_handle = nullptr;
      }
    }
    FlutterDesktopMessengerUnlock(locked);
  };
  // Held here: the handler may close the window, and so destroy the
  // messenger that holds it.
  const std::shared_ptr<BinaryMessageHandler> handler =
      *static_cast<std::shared_ptr<BinaryMessageHandler>*>(user_data);
  (*handler)(message->message, message->message_size,
             std::move(reply_handler));
}

struct Captures {
  BinaryReply reply;
};

void ForwardReply(const uint8_t* data, size_t data_size, void* user_data) {
  std::unique_ptr<Captures> captures(static_cast<Captures*>(user_data));
  captures->reply(data, data_size);
}

}  // namespace

// The reference keeps a messenger whose engine failed to start or has gone
// valid: sending on it then does nothing instead of touching freed memory.
BinaryMessengerImpl::BinaryMessengerImpl(
    FlutterDesktopMessengerRef core_messenger)
    : messenger_(FlutterDesktopMessengerAddRef(core_messenger)) {}

BinaryMessengerImpl::~BinaryMessengerImpl() {
  FlutterDesktopMessengerRelease(messenger_);
}

void BinaryMessengerImpl::Send(const std::string& channel,
                               const uint8_t* message,
                               size_t message_size,
                               BinaryReply reply) const {
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message,
                                message_size);
    return;
  }
  auto captures = std::make_unique<Captures>();
  captures->reply = std::move(reply);
  if (FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(),
                                           message, message_size, ForwardReply,
                                           captures.get())) {
    captures.release();  // ForwardReply owns it now.
  }
}

void BinaryMessengerImpl::SetMessageHandler(const std::string& channel,
                                            BinaryMessageHandler handler) {
  if (!handler) {
    handlers_.erase(channel);
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr,
                                       nullptr);
    return;
  }
  // Replace in place: the node, and so the callback's user data, stays.
  auto& slot = handlers_[channel];
  slot = std::make_shared<BinaryMessageHandler>(std::move(handler));
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(),
                                     ForwardToHandler, &slot);
}

namespace internal {

ReplyManager::ReplyManager(BinaryReply reply_handler)
    : reply_handler_(std::move(reply_handler)) {}

ReplyManager::~ReplyManager() {
  if (reply_handler_) {
    // Nobody answered: say "not implemented" rather than leave the caller
    // waiting.
    reply_handler_(nullptr, 0);
  }
}

void ReplyManager::SendResponseData(const std::vector<uint8_t>* data) {
  if (!reply_handler_) {
    std::cerr << "Error: Only one of Success, Error, or NotImplemented can be "
                 "called, and it can be called exactly once. Ignoring "
                 "duplicate result."
              << std::endl;
    return;
  }
  const uint8_t* message = data && !data->empty() ? data->data() : nullptr;
  const size_t message_size = data ? data->size() : 0;
  BinaryReply reply = std::move(reply_handler_);
  reply_handler_ = nullptr;
  reply(message, message_size);
}

}  // namespace internal

}  // namespace flutter
