#ifndef FLUTTER_EVENT_STREAM_HANDLER_FUNCTIONS_H_
#define FLUTTER_EVENT_STREAM_HANDLER_FUNCTIONS_H_

#include <functional>
#include <memory>

#include "event_sink.h"
#include "event_stream_handler.h"

namespace flutter {

class EncodableValue;

template <typename T>
using StreamHandlerListen =
    std::function<std::unique_ptr<StreamHandlerError<T>>(
        const T* arguments,
        std::unique_ptr<EventSink<T>>&& events)>;

template <typename T>
using StreamHandlerCancel =
    std::function<std::unique_ptr<StreamHandlerError<T>>(const T* arguments)>;

// A StreamHandler made of two functions; either may be null.
template <typename T = EncodableValue>
class StreamHandlerFunctions : public StreamHandler<T> {
 public:
  StreamHandlerFunctions(StreamHandlerListen<T> on_listen,
                         StreamHandlerCancel<T> on_cancel)
      : on_listen_(std::move(on_listen)), on_cancel_(std::move(on_cancel)) {}
  virtual ~StreamHandlerFunctions() = default;
  StreamHandlerFunctions(StreamHandlerFunctions const&) = delete;
  StreamHandlerFunctions& operator=(StreamHandlerFunctions const&) = delete;

 protected:
  std::unique_ptr<StreamHandlerError<T>> OnListenInternal(
      const T* arguments,
      std::unique_ptr<EventSink<T>>&& events) override {
    if (on_listen_) {
      return on_listen_(arguments, std::move(events));
    }
    return std::make_unique<StreamHandlerError<T>>(
        "error", "No OnListen handler set", nullptr);
  }
  std::unique_ptr<StreamHandlerError<T>> OnCancelInternal(
      const T* arguments) override {
    if (on_cancel_) {
      return on_cancel_(arguments);
    }
    return std::make_unique<StreamHandlerError<T>>(
        "error", "No OnCancel handler set", nullptr);
  }

  StreamHandlerListen<T> on_listen_;
  StreamHandlerCancel<T> on_cancel_;
};

}  // namespace flutter

#endif  // FLUTTER_EVENT_STREAM_HANDLER_FUNCTIONS_H_
