#include "flutter_window.h"

#include <optional>

#include "bridge/native_services.h"
#include "feedback/tray.h"
#include "plugin_registrant.h"

FlutterWindow::FlutterWindow(const flutter::DartProject& project)
    : project_(project) {}

// The base destructor would only run its own OnDestroy: shut the services
// down here while this object is still a FlutterWindow.
FlutterWindow::~FlutterWindow() {
  Destroy();
}

bool FlutterWindow::OnCreate() {
  if (!Win32Window::OnCreate()) {
    return false;
  }

  RECT frame = GetClientArea();

  flutter_controller_ = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project_);
  if (!flutter_controller_->engine() || !flutter_controller_->view()) {
    return false;
  }
  RegisterPlugins(flutter_controller_->engine());
  SetUpNativeServices(flutter_controller_->engine(), GetHandle());
  SetChildContent(flutter_controller_->view()->GetNativeWindow());

  flutter_controller_->ForceRedraw();
  return true;
}

void FlutterWindow::OnDestroy() {
  ShutDownNativeServices();
  if (flutter_controller_) {
    flutter_controller_ = nullptr;
  }

  Win32Window::OnDestroy();
}

LRESULT
FlutterWindow::MessageHandler(HWND hwnd,
                              UINT const message,
                              WPARAM const wparam,
                              LPARAM const lparam) noexcept {
  switch (message) {
    case WM_SETTINGCHANGE:
      OnSettingChange(reinterpret_cast<const wchar_t*>(lparam));
      break;
    case WM_WTSSESSION_CHANGE:
      OnSessionChange(wparam);
      break;
    case WM_POWERBROADCAST:
      OnPowerBroadcast(wparam);
      break;
    case WM_COPYDATA:
      if (ReceiveFileHandOver(reinterpret_cast<const COPYDATASTRUCT*>(lparam))) {
        return 1;
      }
      break;
  }

  OnTrayMessage(message, lparam);

  if (flutter_controller_) {
    std::optional<LRESULT> result =
        flutter_controller_->HandleTopLevelWindowProc(hwnd, message, wparam,
                                                      lparam);
    if (result) {
      return *result;
    }
  }

  if (message == WM_FONTCHANGE && flutter_controller_) {
    flutter_controller_->engine()->ReloadSystemFonts();
  }

  return Win32Window::MessageHandler(hwnd, message, wparam, lparam);
}
