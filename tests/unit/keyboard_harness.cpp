#include "keyboard_harness.h"

#include <flutter/dart_project.h>

#include <mutex>
#include <utility>

#include "app_driver.h"
#include "test_support.h"

namespace test_support {

namespace {

constexpr wchar_t kTargetClass[] = L"KorvexKeyTarget";
constexpr UINT kRunOnMain = WM_APP + 77;

std::mutex keys_mutex;
std::vector<WindowKey> window_keys;
std::vector<SeenKey> seen_keys;
WNDPROC edit_procedure = nullptr;
DWORD main_thread = 0;

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wparam,
                          LPARAM lparam) {
  if (message >= WM_KEYDOWN && message <= WM_SYSKEYUP && message != WM_CHAR &&
      message != WM_DEADCHAR && message != WM_SYSCHAR) {
    std::lock_guard<std::mutex> lock(keys_mutex);
    window_keys.push_back({message, wparam, GetKeyState(VK_SHIFT) < 0,
                           GetKeyState(VK_CONTROL) < 0});
  }
  return CallWindowProcW(edit_procedure, window, message, wparam, lparam);
}

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam) {
  if (message == kRunOnMain) {
    (*reinterpret_cast<const std::function<void()>*>(lparam))();
    return 0;
  }
  // Not on deactivation: a focus set then may take the foreground back.
  if (message == WM_SETFOCUS ||
      (message == WM_ACTIVATE && LOWORD(wparam) != WA_INACTIVE)) {
    if (HWND edit = GetWindow(window, GW_CHILD)) SetFocus(edit);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

LRESULT CALLBACK SeeKeys(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION) {
    const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
    std::lock_guard<std::mutex> lock(keys_mutex);
    seen_keys.push_back({event->vkCode, event->scanCode, event->flags,
                         event->dwExtraInfo, NowUs()});
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// The field |key| of |record| when it holds a T, else |fallback|.
template <typename T>
T FieldOr(const EncodableMap& record, const char* key, T fallback) {
  auto found = record.find(EncodableValue(key));
  const T* value =
      found == record.end() ? nullptr : std::get_if<T>(&found->second);
  return value ? *value : fallback;
}

template <typename Key>
std::vector<Key> Take(std::vector<Key>& keys) {
  std::lock_guard<std::mutex> lock(keys_mutex);
  return std::exchange(keys, {});
}

// Waits for |done|; on the main thread serving its hooks and windows.
bool WaitFor(const std::function<bool()>& done, int timeout_ms) {
  if (GetCurrentThreadId() == main_thread) {
    return PumpUntil(done, timeout_ms);
  }
  for (int waited = 0; waited < timeout_ms && !done(); waited += 5) {
    Sleep(5);
  }
  return done();
}

}  // namespace

int64_t NowUs() {
  LARGE_INTEGER now, frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return now.QuadPart * 1000000 / frequency.QuadPart;
}

bool Xdo(const std::string& arguments) {
  // Wine hands out no waitable handle for a Unix process: the shell around
  // xdotool leaves its exit status in a file instead.
  static int invocation = 0;
  const std::string marker = "/tmp/korvex-xdo-" +
                             std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(++invocation);
  const std::wstring marker_path =
      L"Z:" + std::wstring(marker.begin(), marker.end());
  const std::string shell = "Z:\\bin\\sh -c \"xdotool " + arguments +
                            "; echo $? > " + marker + "\"";
  std::wstring command(shell.begin(), shell.end());
  // One left by a run that was killed half-way would end this wait early.
  DeleteFileW(marker_path.c_str());
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0,
                      nullptr, nullptr, &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  auto done = [&] {
    return ReadFileBytes(marker_path).find('\n') != std::string::npos;
  };
  // Its keys come through the main thread's hook.
  const bool succeeded =
      WaitFor(done, 30000) && ReadFileBytes(marker_path) == "0\n";
  DeleteFileW(marker_path.c_str());
  return succeeded;
}

bool Poll(flutter_app::AppMessenger& app, const std::function<bool()>& done,
          int timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (!done()) {
    if (GetTickCount64() >= deadline || app.RunPending(10) < 0) {
      return done();
    }
  }
  return true;
}

int32_t IntOf(const EncodableMap& r, const char* key) { return FieldOr(r, key, -1); }
bool BoolOf(const EncodableMap& r, const char* key) { return FieldOr(r, key, false); }
bool Has(const EncodableMap& r, const char* key) { return r.count(EncodableValue(key)) > 0; }
std::string StringOf(const EncodableMap& record, const char* key) {
  return FieldOr<std::string>(record, key, "<none>");
}

KeyboardHarness::KeyboardHarness() {
  main_thread = GetCurrentThreadId();
  runner_ = std::make_unique<FlutterWindow>(
      flutter::DartProject(PassiveProjectFolder()));
  if (!runner_->Create(L"korvex-keyboard-test", Win32Window::Point(700, 10),
                       Win32Window::Size(320, 200))) {
    return;
  }
  app_ref_ = PassiveAppMessenger();
  HINSTANCE instance = GetModuleHandleW(nullptr);
  const WNDCLASSW window_class = {0, TargetProc, 0, 0, instance, {}, {}, {}, {}, kTargetClass};
  RegisterClassW(&window_class);
  target_ = CreateWindowExW(0, kTargetClass, L"korvex-key-target",
                            WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 600, 160,
                            nullptr, nullptr, instance, nullptr);
  edit_ = CreateWindowExW(
      0, L"EDIT", L"",
      WS_CHILD | WS_VISIBLE | WS_BORDER | ES_MULTILINE | ES_WANTRETURN |
          ES_AUTOVSCROLL,
      5, 5, 580, 120, target_, nullptr, instance, nullptr);
  if (edit_) {
    SendMessageW(edit_, EM_SETLIMITTEXT, 0, 0);
    edit_procedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
        edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
  }
  seen_hook_ = SetWindowsHookExW(WH_KEYBOARD_LL, SeeKeys, instance, 0);
  ready_ = app_ref_ && edit_ && seen_hook_ && FocusTarget();
  TurnCapsLockOff();
}

KeyboardHarness::~KeyboardHarness() {
  // A test that stopped half-way must not leave Caps Lock to the next.
  TurnCapsLockOff();
  CloseRunner();
  if (seen_hook_) UnhookWindowsHookEx(seen_hook_);
  TakeSeenKeys();
  if (target_) DestroyWindow(target_);
  TakeWindowKeys();
}

void KeyboardHarness::TurnCapsLockOff() {
  bool on = false;
  // The target's window is this thread's: its key state is current.
  OnMain([&] { on = (GetKeyState(VK_CAPITAL) & 1) != 0; });
  if (on) Xdo("key Caps_Lock");
}

bool KeyboardHarness::FocusTarget() {
  OnMain([this] { SetForegroundWindow(target_); });
  Xdo("search --name '^korvex-key-target$' windowfocus --sync");
  OnMain([this] { SetFocus(edit_); });
  return WaitFor(
      [this] {
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        return GetGUIThreadInfo(main_thread, &info) && info.hwndFocus == edit_;
      },
      5000);
}

std::wstring KeyboardHarness::EditText() const {
  wchar_t text[4096] = {};
  const int length = GetWindowTextW(edit_, text, 4096);
  return std::wstring(text, length > 0 ? length : 0);
}

void KeyboardHarness::SetEditText(const wchar_t* text) {
  OnMain([&] {
    SetWindowTextW(edit_, text);
    const LPARAM end = static_cast<LPARAM>(wcslen(text));
    SendMessageW(edit_, EM_SETSEL, static_cast<WPARAM>(end), end);
  });
  TakeWindowKeys();
}

std::vector<WindowKey> KeyboardHarness::TakeWindowKeys() { return Take(window_keys); }
std::vector<SeenKey> KeyboardHarness::TakeSeenKeys() { return Take(seen_keys); }

bool KeyboardHarness::RunApp(
    const std::function<void(flutter_app::AppMessenger&)>& body,
    int timeout_ms) {
  records_.clear();
  return RunAsApplication(app_ref_, body, timeout_ms);
}

void KeyboardHarness::OnMain(const std::function<void()>& work) {
  if (GetCurrentThreadId() == main_thread) return work();
  SendMessageW(target_, kRunOnMain, 0, reinterpret_cast<LPARAM>(&work));
}

std::vector<SeenKey> KeyboardHarness::Inject(
    const std::function<void()>& work) {
  TakeSeenKeys();
  RunAsApplication(app_ref_, [&](flutter_app::AppMessenger&) { work(); });
  // The last events may still be on their way to the hooks.
  PumpUntil([] { return false; }, 150);
  return TakeSeenKeys();
}

bool KeyboardHarness::Listen(flutter_app::AppMessenger& app) {
  flutter_app::Reply reply =
      app.Listen("korvex/key_events", EncodableValue(),
                 [this](const flutter_app::Event& event) {
                   if (const auto* map = std::get_if<EncodableMap>(&event.value)) {
                     records_.push_back(*map);
                   }
                 });
  return reply.kind == flutter_app::Reply::Kind::kSuccess;
}

bool KeyboardHarness::WaitForRecords(flutter_app::AppMessenger& app,
                                     const char* type, size_t count) {
  return app.RunUntil([&] { return RecordsOf(type).size() >= count; }, 5000);
}

std::vector<EncodableMap> KeyboardHarness::RecordsOf(const char* type) const {
  std::vector<EncodableMap> found;
  for (const EncodableMap& record : records_) {
    if (StringOf(record, "type") == type) {
      found.push_back(record);
    }
  }
  return found;
}

flutter_app::Reply KeyboardHarness::Call(flutter_app::AppMessenger& app,
                                         const std::string& method,
                                         const EncodableMap& arguments) {
  return app.CallMethod("korvex/automation", method, EncodableValue(arguments));
}

void KeyboardHarness::CloseRunner() {
  OnMain([this] {
    if (runner_ && runner_->GetHandle()) {
      DestroyWindow(runner_->GetHandle());
    }
    runner_.reset();
  });
}

}  // namespace test_support
