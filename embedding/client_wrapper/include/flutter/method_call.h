#ifndef FLUTTER_METHOD_CALL_H_
#define FLUTTER_METHOD_CALL_H_

#include <memory>
#include <string>

namespace flutter {

class EncodableValue;

// A method name and its arguments.
template <typename T = EncodableValue>
class MethodCall {
 public:
  MethodCall(const std::string& method_name, std::unique_ptr<T> arguments)
      : method_name_(method_name), arguments_(std::move(arguments)) {}
  virtual ~MethodCall() = default;
  MethodCall(MethodCall<T> const&) = delete;
  MethodCall& operator=(MethodCall<T> const&) = delete;

  const std::string& method_name() const { return method_name_; }
  const T* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<T> arguments_;
};

}  // namespace flutter

#endif  // FLUTTER_METHOD_CALL_H_
