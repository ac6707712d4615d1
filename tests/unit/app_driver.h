#ifndef KORVEX_TESTS_UNIT_APP_DRIVER_H_
#define KORVEX_TESTS_UNIT_APP_DRIVER_H_

#include <flutter/encodable_value.h>
#include <flutter_app/app_messenger.h>

#include <functional>
#include <initializer_list>
#include <utility>

namespace test_support {

// The messenger the engine handed to the do-nothing application of
// PassiveProjectFolder(); null when no engine started it within 5 s.
FlutterDesktopAppMessengerRef PassiveAppMessenger();

// Runs |body| as the application, on a thread of its own, while this
// (platform) thread serves its messages. False when it did not end in
// |timeout_ms|; this thread keeps serving until the body has ended all the
// same, since the body may be waiting on it.
bool RunAsApplication(FlutterDesktopAppMessengerRef messenger,
                      const std::function<void(flutter_app::AppMessenger&)>& body,
                      int timeout_ms = 30000);

// A channel's map of arguments, keyed by name.
flutter::EncodableValue Args(
    std::initializer_list<std::pair<const char*, flutter::EncodableValue>> entries);

}  // namespace test_support

#endif  // KORVEX_TESTS_UNIT_APP_DRIVER_H_
