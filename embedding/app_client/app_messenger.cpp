#include "flutter_app/app_messenger.h"

#include <flutter/method_call.h>
#include <flutter/standard_method_codec.h>

#include <chrono>
#include <memory>
#include <utility>

#include "response_envelope.h"

namespace flutter_app {

namespace {

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::GetInstance();
}

// Takes the reply by value: a caller that keeps it moves it on.
struct ReplyContext {
  std::function<void(Reply)> on_reply;
};

Reply DecodeReply(const uint8_t* data, size_t size) {
  Reply reply;
  if (size == 0) {
    reply.kind = Reply::Kind::kNotImplemented;
    return reply;
  }
  flutter::internal::ResponseEnvelope envelope;
  if (!flutter::internal::DecodeResponseEnvelope(
          flutter::StandardCodecSerializer::GetInstance(), data, size,
          &envelope)) {
    reply.kind = Reply::Kind::kMalformed;
    return reply;
  }
  reply.kind = envelope.success ? Reply::Kind::kSuccess : Reply::Kind::kError;
  reply.value = std::move(envelope.value);
  reply.error_code = std::move(envelope.error_code);
  reply.error_message = std::move(envelope.error_message);
  return reply;
}

void OnReply(const uint8_t* data, size_t size, void* user_data) {
  std::unique_ptr<ReplyContext> context(static_cast<ReplyContext*>(user_data));
  if (context->on_reply) {
    context->on_reply(DecodeReply(data, size));
  }
}

void Invoke(FlutterDesktopAppMessengerRef messenger,
            const std::string& channel,
            const std::string& method,
            const EncodableValue& arguments,
            std::function<void(Reply)> on_reply) {
  flutter::MethodCall<EncodableValue> call(
      method, std::make_unique<EncodableValue>(arguments));
  auto message = Codec().EncodeMethodCall(call);
  auto* context = new ReplyContext{std::move(on_reply)};
  if (!FlutterDesktopAppMessengerSend(messenger, channel.c_str(),
                                      message->data(), message->size(),
                                      OnReply, context)) {
    delete context;
  }
}

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

Answer Answer::Success(EncodableValue value) {
  Answer answer;
  answer.kind = Kind::kSuccess;
  answer.value = std::move(value);
  return answer;
}

Answer Answer::NotImplemented() {
  return Answer();
}

struct AppMessenger::Channel {
  AppMessenger* owner = nullptr;
  std::string name;
  std::function<Answer(const std::string&, const EncodableValue&)>
      call_handler;
  std::function<void(const Event&)> event_handler;
};

AppMessenger::AppMessenger(FlutterDesktopAppMessengerRef messenger)
    : messenger_(messenger) {}

AppMessenger::~AppMessenger() {
  for (const auto& channel : channels_) {
    FlutterDesktopAppMessengerSetCallback(messenger_, channel.first.c_str(),
                                          nullptr, nullptr);
  }
}

void AppMessenger::InvokeMethod(const std::string& channel,
                                const std::string& method,
                                const EncodableValue& arguments,
                                std::function<void(const Reply&)> on_reply) {
  std::function<void(Reply)> forward;
  if (on_reply) {
    forward = [on_reply = std::move(on_reply)](Reply reply) {
      on_reply(reply);
    };
  }
  Invoke(messenger_, channel, method, arguments, std::move(forward));
}

Reply AppMessenger::CallMethod(const std::string& channel,
                               const std::string& method,
                               const EncodableValue& arguments,
                               int timeout_ms) {
  auto state = std::make_shared<std::pair<bool, Reply>>();
  Invoke(messenger_, channel, method, arguments, [state](Reply reply) {
    state->first = true;
    state->second = std::move(reply);
  });
  RunUntil([&state] { return state->first; }, timeout_ms);
  if (!state->first) {
    return Reply();
  }
  return std::move(state->second);
}

bool AppMessenger::SendRaw(const std::string& channel,
                           const std::vector<uint8_t>& message,
                           std::vector<uint8_t>* reply,
                           int timeout_ms) {
  struct Raw {
    bool done = false;
    std::vector<uint8_t> bytes;
  };
  auto state = std::make_shared<Raw>();
  // The raw bytes are wanted here, so nothing is decoded.
  struct RawContext {
    std::shared_ptr<Raw> state;
  };
  auto* raw = new RawContext{state};
  auto on_raw = [](const uint8_t* data, size_t size, void* user_data) {
    std::unique_ptr<RawContext> owned(static_cast<RawContext*>(user_data));
    owned->state->done = true;
    if (data && size > 0) {
      owned->state->bytes.assign(data, data + size);
    }
  };
  if (!FlutterDesktopAppMessengerSend(
          messenger_, channel.c_str(), message.empty() ? nullptr : message.data(),
          message.size(), on_raw, raw)) {
    delete raw;
    return false;
  }
  RunUntil([&state] { return state->done; }, timeout_ms);
  if (state->done && reply) {
    *reply = state->bytes;
  }
  return state->done;
}

void AppMessenger::SetMethodCallHandler(
    const std::string& channel,
    std::function<Answer(const std::string&, const EncodableValue&)>
        handler) {
  ChannelFor(channel).call_handler = std::move(handler);
  DetachIfIdle(channel);
}

Reply AppMessenger::Listen(const std::string& channel,
                           const EncodableValue& arguments,
                           std::function<void(const Event&)> on_event,
                           int timeout_ms) {
  ChannelFor(channel).event_handler = std::move(on_event);
  return CallMethod(channel, "listen", arguments, timeout_ms);
}

Reply AppMessenger::Cancel(const std::string& channel,
                           const EncodableValue& arguments,
                           int timeout_ms) {
  auto found = channels_.find(channel);
  if (found != channels_.end()) {
    found->second->event_handler = nullptr;
    DetachIfIdle(channel);
  }
  return CallMethod(channel, "cancel", arguments, timeout_ms);
}

int AppMessenger::RunPending(int timeout_ms) {
  const int ran = FlutterDesktopAppMessengerRunPending(
      messenger_, static_cast<uint32_t>(timeout_ms < 0 ? 0 : timeout_ms));
  if (ran < 0) {
    stopping_ = true;
  }
  return ran;
}

bool AppMessenger::RunUntil(const std::function<bool()>& done,
                            int timeout_ms) {
  const int64_t deadline = NowMs() + timeout_ms;
  while (!done()) {
    const int64_t left = deadline - NowMs();
    if (left <= 0 || stopping_) {
      return false;
    }
    if (RunPending(static_cast<int>(left)) < 0) {
      return done();
    }
  }
  return true;
}

AppMessenger::Channel& AppMessenger::ChannelFor(const std::string& name) {
  auto& slot = channels_[name];
  if (!slot) {
    slot = std::make_unique<Channel>();
    slot->owner = this;
    slot->name = name;
  }
  Attach(name);
  return *slot;
}

void AppMessenger::Attach(const std::string& name) {
  FlutterDesktopAppMessengerSetCallback(messenger_, name.c_str(), OnMessage,
                                        channels_[name].get());
}

void AppMessenger::DetachIfIdle(const std::string& name) {
  auto found = channels_.find(name);
  if (found == channels_.end() || found->second->call_handler ||
      found->second->event_handler) {
    return;
  }
  FlutterDesktopAppMessengerSetCallback(messenger_, name.c_str(), nullptr,
                                        nullptr);
  channels_.erase(found);
}

void AppMessenger::OnMessage(const char*,
                             const uint8_t* message,
                             size_t message_size,
                             FlutterDesktopAppResponse* response,
                             void* user_data) {
  auto* channel = static_cast<Channel*>(user_data);
  FlutterDesktopAppMessengerRef messenger = channel->owner->messenger_;
  if (!response && channel->event_handler) {
    Event event;
    if (message_size == 0) {
      event.kind = Event::Kind::kEndOfStream;
    } else {
      Reply decoded = DecodeReply(message, message_size);
      switch (decoded.kind) {
        case Reply::Kind::kSuccess:
          event.kind = Event::Kind::kData;
          break;
        case Reply::Kind::kError:
          event.kind = Event::Kind::kError;
          break;
        default:
          event.kind = Event::Kind::kMalformed;
          break;
      }
      event.value = std::move(decoded.value);
      event.error_code = std::move(decoded.error_code);
      event.error_message = std::move(decoded.error_message);
    }
    // Copy: the handler may cancel the stream and so replace itself.
    auto handler = channel->event_handler;
    handler(event);
    return;
  }
  std::unique_ptr<flutter::MethodCall<EncodableValue>> call;
  if (channel->call_handler) {
    call = Codec().DecodeMethodCall(message, message_size);
  }
  Answer answer;
  if (call) {
    auto handler = channel->call_handler;
    // Both sides are lvalues, so neither is copied.
    const EncodableValue none;
    answer = handler(call->method_name(),
                     call->arguments() ? *call->arguments() : none);
  }
  if (!response) {
    return;
  }
  std::unique_ptr<std::vector<uint8_t>> encoded;
  switch (answer.kind) {
    case Answer::Kind::kSuccess:
      encoded = Codec().EncodeSuccessEnvelope(&answer.value);
      break;
    case Answer::Kind::kError:
      encoded = Codec().EncodeErrorEnvelope(
          answer.error_code, answer.error_message,
          answer.value.IsNull() ? nullptr : &answer.value);
      break;
    case Answer::Kind::kNotImplemented:
      break;
  }
  FlutterDesktopAppMessengerSendResponse(
      messenger, response, encoded ? encoded->data() : nullptr,
      encoded ? encoded->size() : 0);
}

}  // namespace flutter_app
