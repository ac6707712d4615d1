// An application that hands its messenger to the test and returns: the test
// then acts as the application, from a thread of its own.
#include <flutter_app_messenger.h>

#include <atomic>

namespace {
std::atomic<FlutterDesktopAppMessengerRef> g_messenger{nullptr};
}  // namespace

extern "C" __declspec(dllexport) int FlutterDesktopAppMain(
    FlutterDesktopAppMessengerRef messenger, const char*, int, const char**) {
  g_messenger = messenger;
  return 0;
}

extern "C" __declspec(dllexport) FlutterDesktopAppMessengerRef
PassiveAppMessenger() {
  return g_messenger.load();
}
