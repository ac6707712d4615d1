#ifndef KORVEX_TESTS_UNIT_KEYBOARD_HARNESS_H_
#define KORVEX_TESTS_UNIT_KEYBOARD_HARNESS_H_

// The keyboard engine as a user and the application meet it: the runner
// with its services in this process (the main thread runs the hooks), a
// target window with an edit control that xdotool types into, and the
// application acting from a thread of its own with real channel bytes.

#include <flutter/encodable_value.h>
#include <flutter_app/app_messenger.h>
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "flutter_window.h"

namespace test_support {

using flutter::EncodableMap;
using flutter::EncodableValue;

// Runs xdotool with |arguments| (no double quotes) to its end; true when
// it succeeded.
bool Xdo(const std::string& arguments);

// Serves the application's deliveries until |done| holds, looking at it at
// least every 10 ms (for conditions that no delivery changes).
bool Poll(flutter_app::AppMessenger& app, const std::function<bool()>& done,
          int timeout_ms);

// A record field, or a default when missing or of another type.
int32_t IntOf(const EncodableMap& record, const char* key);
std::string StringOf(const EncodableMap& record, const char* key);
bool BoolOf(const EncodableMap& record, const char* key);
bool Has(const EncodableMap& record, const char* key);

// What the target edit control was sent, in order.
struct WindowKey {
  UINT message;  // WM_KEYDOWN, WM_KEYUP, WM_SYSKEYDOWN, WM_SYSKEYUP
  WPARAM vk;
  bool shift;  // Shift down as the window saw it at this message
  bool control;
};

// An event as a low-level hook of the test's own saw it.
struct SeenKey {
  DWORD vk, scan, flags;
  ULONG_PTR extra;
  int64_t at_us;
  bool up() const { return (flags & LLKHF_UP) != 0; }
};

// Microseconds on the performance counter.
int64_t NowUs();

class KeyboardHarness {
 public:
  KeyboardHarness();
  ~KeyboardHarness();

  bool ready() const { return ready_; }
  HWND runner() const { return runner_ ? runner_->GetHandle() : nullptr; }
  HWND edit() const { return edit_; }

  // Gives the target the X focus and waits until its edit has it.
  bool FocusTarget();
  void TurnCapsLockOff();
  std::wstring EditText() const;
  void SetEditText(const wchar_t* text);
  std::vector<WindowKey> TakeWindowKeys();
  // What a hook of the test's own saw since the last call.
  std::vector<SeenKey> TakeSeenKeys();

  // Runs |body| as the application; the main thread serves the hooks.
  bool RunApp(const std::function<void(flutter_app::AppMessenger&)>& body,
              int timeout_ms = 30000);
  // Runs |work| on the main thread (from the application's thread).
  void OnMain(const std::function<void()>& work);
  // Runs |work| on a thread of its own, as the injection worker does,
  // while the main thread serves the hooks; what the test's hook saw.
  std::vector<SeenKey> Inject(const std::function<void()>& work);

  // Records received on "korvex/key_events" while listening (app thread).
  std::vector<EncodableMap>& records() { return records_; }
  bool Listen(flutter_app::AppMessenger& app);
  // Waits on the app thread for |count| records of |type| in all.
  bool WaitForRecords(flutter_app::AppMessenger& app, const char* type,
                      size_t count);
  std::vector<EncodableMap> RecordsOf(const char* type) const;
  // The automation channel, with a map of arguments.
  flutter_app::Reply Call(flutter_app::AppMessenger& app,
                          const std::string& method,
                          const EncodableMap& arguments = {});

  // Destroys the runner as the product does; the services shut down.
  void CloseRunner();

 private:
  std::unique_ptr<FlutterWindow> runner_;
  FlutterDesktopAppMessengerRef app_ref_ = nullptr;
  HWND target_ = nullptr;
  HWND edit_ = nullptr;
  HHOOK seen_hook_ = nullptr;
  bool ready_ = false;
  std::vector<EncodableMap> records_;
};

}  // namespace test_support

#endif  // KORVEX_TESTS_UNIT_KEYBOARD_HARNESS_H_
