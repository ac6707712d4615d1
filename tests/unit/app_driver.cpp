#include "app_driver.h"

#include <windows.h>

#include <atomic>
#include <thread>

#include "test_support.h"

namespace test_support {

FlutterDesktopAppMessengerRef PassiveAppMessenger() {
  const std::wstring module_path = PassiveProjectFolder() + L"\\app.so";
  using Getter = FlutterDesktopAppMessengerRef (*)();
  FlutterDesktopAppMessengerRef ref = nullptr;
  PumpUntil(
      [&] {
        HMODULE module = GetModuleHandleW(module_path.c_str());
        auto get = module ? reinterpret_cast<Getter>(reinterpret_cast<void*>(
                                GetProcAddress(module, "PassiveAppMessenger")))
                          : nullptr;
        return (ref = get ? get() : nullptr) != nullptr;
      },
      5000);
  return ref;
}

bool RunAsApplication(FlutterDesktopAppMessengerRef messenger,
                      const std::function<void(flutter_app::AppMessenger&)>& body,
                      int timeout_ms) {
  std::atomic<bool> done{false};
  std::thread app([&] {
    flutter_app::AppMessenger app_messenger(messenger);
    body(app_messenger);
    done = true;
  });
  const bool finished = PumpUntil([&] { return done.load(); }, timeout_ms);
  while (!PumpUntil([&] { return done.load(); }, 1000)) {
  }
  app.join();
  return finished;
}

flutter::EncodableValue Args(
    std::initializer_list<std::pair<const char*, flutter::EncodableValue>> entries) {
  flutter::EncodableMap map;
  for (const auto& [key, value] : entries) map[flutter::EncodableValue(key)] = value;
  return flutter::EncodableValue(map);
}

}  // namespace test_support
