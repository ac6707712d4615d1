#ifndef FLUTTER_METHOD_CHANNEL_H_
#define FLUTTER_METHOD_CHANNEL_H_

#include <functional>
#include <iostream>
#include <memory>
#include <string>

#include "binary_messenger.h"
#include "engine_method_result.h"
#include "method_call.h"
#include "method_codec.h"
#include "method_result.h"

namespace flutter {

class EncodableValue;

template <typename T>
using MethodCallHandler =
    std::function<void(const MethodCall<T>& call,
                       std::unique_ptr<MethodResult<T>> result)>;

// A named channel for method calls in both directions.
template <typename T = EncodableValue>
class MethodChannel {
 public:
  // |messenger| and |codec| must outlive the channel.
  MethodChannel(BinaryMessenger* messenger,
                const std::string& name,
                const MethodCodec<T>* codec)
      : messenger_(messenger), name_(name), codec_(codec) {}
  ~MethodChannel() = default;
  MethodChannel(MethodChannel const&) = delete;
  MethodChannel& operator=(MethodChannel const&) = delete;

  // Calls |method| on the application side; |result|, if given, receives
  // the answer.
  void InvokeMethod(const std::string& method,
                    std::unique_ptr<T> arguments,
                    std::unique_ptr<MethodResult<T>> result = nullptr) {
    MethodCall<T> method_call(method, std::move(arguments));
    std::unique_ptr<std::vector<uint8_t>> message =
        codec_->EncodeMethodCall(method_call);
    if (!result) {
      messenger_->Send(name_, message->data(), message->size(), nullptr);
      return;
    }
    // std::function needs a copyable callable.
    std::shared_ptr<MethodResult<T>> shared_result(result.release());
    const auto* codec = codec_;
    std::string channel_name = name_;
    BinaryReply reply_handler = [shared_result, codec, channel_name](
                                    const uint8_t* reply, size_t reply_size) {
      if (reply_size == 0) {
        shared_result->NotImplemented();
        return;
      }
      if (!codec->DecodeAndProcessResponseEnvelope(reply, reply_size,
                                                   shared_result.get())) {
        std::cerr << "Unable to decode reply to method invocation on channel "
                  << channel_name << std::endl;
        shared_result->NotImplemented();
      }
    };
    messenger_->Send(name_, message->data(), message->size(),
                     std::move(reply_handler));
  }

  // A null handler removes the current one.
  void SetMethodCallHandler(MethodCallHandler<T> handler) const {
    if (!handler) {
      messenger_->SetMessageHandler(name_, nullptr);
      return;
    }
    const auto* codec = codec_;
    std::string channel_name = name_;
    BinaryMessageHandler binary_handler =
        [handler, codec, channel_name](const uint8_t* message,
                                       size_t message_size, BinaryReply reply) {
          auto result =
              std::make_unique<EngineMethodResult<T>>(std::move(reply), codec);
          std::unique_ptr<MethodCall<T>> method_call =
              codec->DecodeMethodCall(message, message_size);
          if (!method_call) {
            std::cerr << "Unable to construct method call from message on "
                         "channel "
                      << channel_name << std::endl;
            result->NotImplemented();
            return;
          }
          handler(*method_call, std::move(result));
        };
    messenger_->SetMessageHandler(name_, std::move(binary_handler));
  }

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<T>* codec_;
};

}  // namespace flutter

#endif  // FLUTTER_METHOD_CHANNEL_H_
