#ifndef FLUTTER_EVENT_SINK_H_
#define FLUTTER_EVENT_SINK_H_

#include <string>

namespace flutter {

class EncodableValue;

// Sends the events of one stream to the application.
template <typename T = EncodableValue>
class EventSink {
 public:
  EventSink() = default;
  virtual ~EventSink() = default;
  EventSink(EventSink const&) = delete;
  EventSink& operator=(EventSink const&) = delete;

  void Success(const T& event) { SuccessInternal(&event); }
  void Success() { SuccessInternal(nullptr); }
  void Error(const std::string& error_code,
             const std::string& error_message,
             const T& error_details) {
    ErrorInternal(error_code, error_message, &error_details);
  }
  void Error(const std::string& error_code,
             const std::string& error_message = "") {
    ErrorInternal(error_code, error_message, nullptr);
  }
  void EndOfStream() { EndOfStreamInternal(); }

 protected:
  virtual void SuccessInternal(const T* event = nullptr) = 0;
  virtual void ErrorInternal(const std::string& error_code,
                             const std::string& error_message,
                             const T* error_details) = 0;
  virtual void EndOfStreamInternal() = 0;
};

}  // namespace flutter

#endif  // FLUTTER_EVENT_SINK_H_
