// A stand-in plug-in: it registers with the engine like the real one, and
// the window manager serves the few calls that show or hide the window.

#include PLUGIN_HEADER

#include <flutter/method_channel.h>
#include <flutter/plugin_registrar_windows.h>
#include <flutter/standard_method_codec.h>
#include <windows.h>
#include <shellapi.h>

#include <memory>
#include <string>

namespace {

class StandInPlugin : public flutter::Plugin {
 public:
  explicit StandInPlugin(flutter::PluginRegistrarWindows* registrar)
      : registrar_(registrar) {
#ifdef PLUGIN_WINDOW_MANAGER
    channel_ = std::make_unique<flutter::MethodChannel<>>(
        registrar->messenger(), "window_manager",
        &flutter::StandardMethodCodec::GetInstance());
    channel_->SetMethodCallHandler(
        [this](const flutter::MethodCall<>& call,
               std::unique_ptr<flutter::MethodResult<>> result) {
          HandleWindowCall(call, std::move(result));
        });
#endif
#ifdef PLUGIN_TRAY_MANAGER
    channel_ = std::make_unique<flutter::MethodChannel<>>(
        registrar->messenger(), "tray_manager",
        &flutter::StandardMethodCodec::GetInstance());
    channel_->SetMethodCallHandler(
        [this](const flutter::MethodCall<>& call,
               std::unique_ptr<flutter::MethodResult<>> result) {
          HandleTrayCall(call, std::move(result));
        });
#endif
  }

  ~StandInPlugin() override {
    // The icon goes with the program, as the real plug-in's does.
    RemoveTrayIcon();
    if (channel_) {
      channel_->SetMethodCallHandler(nullptr);
    }
  }

 private:
  HWND TopLevelWindow() const {
    flutter::FlutterView* view = registrar_->GetView();
    return view ? GetAncestor(view->GetNativeWindow(), GA_ROOT) : nullptr;
  }

  void HandleWindowCall(const flutter::MethodCall<>& call,
                        std::unique_ptr<flutter::MethodResult<>> result) {
    HWND window = TopLevelWindow();
    const std::string& method = call.method_name();
    if (!window) {
      result->NotImplemented();
    } else if (method == "show" || method == "focus") {
      ShowWindow(window, SW_SHOW);
      SetForegroundWindow(window);
      result->Success();
    } else if (method == "hide") {
      ShowWindow(window, SW_HIDE);
      result->Success();
    } else if (method == "isVisible") {
      result->Success(flutter::EncodableValue(IsWindowVisible(window) != FALSE));
    } else {
      result->NotImplemented();
    }
  }

  // The notification-area icon the host's balloons rise from: owner the
  // runner window, identifier 1, callback message WM_USER + 1.
  NOTIFYICONDATAW TrayIcon(HWND window) const {
    NOTIFYICONDATAW icon = {};
    icon.cbSize = sizeof(icon);
    icon.hWnd = window;
    icon.uID = 1;
    icon.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    icon.uCallbackMessage = WM_USER + 1;
    icon.hIcon = static_cast<HICON>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101), IMAGE_ICON,
        GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    return icon;
  }

  void RemoveTrayIcon() {
    if (tray_window_) {
      NOTIFYICONDATAW icon = TrayIcon(tray_window_);
      Shell_NotifyIconW(NIM_DELETE, &icon);
      tray_window_ = nullptr;
    }
  }

  void HandleTrayCall(const flutter::MethodCall<>& call,
                      std::unique_ptr<flutter::MethodResult<>> result) {
    const std::string& method = call.method_name();
    if (method == "setIcon") {
      HWND window = TopLevelWindow();
      if (!window) {
        result->Success(flutter::EncodableValue(false));
        return;
      }
      NOTIFYICONDATAW icon = TrayIcon(window);
      const bool added = tray_window_ == window
                             ? Shell_NotifyIconW(NIM_MODIFY, &icon) != FALSE
                             : Shell_NotifyIconW(NIM_ADD, &icon) != FALSE;
      if (added) {
        tray_window_ = window;
        icon.uVersion = NOTIFYICON_VERSION_4;
        Shell_NotifyIconW(NIM_SETVERSION, &icon);
      }
      result->Success(flutter::EncodableValue(added));
    } else if (method == "destroy") {
      RemoveTrayIcon();
      result->Success();
    } else {
      result->NotImplemented();
    }
  }

  flutter::PluginRegistrarWindows* registrar_;
  HWND tray_window_ = nullptr;
  std::unique_ptr<flutter::MethodChannel<>> channel_;
};

}  // namespace

void PLUGIN_FUNCTION(FlutterDesktopPluginRegistrarRef registrar) {
  auto* windows_registrar =
      flutter::PluginRegistrarManager::GetInstance()
          ->GetRegistrar<flutter::PluginRegistrarWindows>(registrar);
  windows_registrar->AddPlugin(
      std::make_unique<StandInPlugin>(windows_registrar));
}
