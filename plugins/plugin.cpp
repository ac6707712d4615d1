// A stand-in plug-in: it registers with the engine like the real one; the
// window manager serves the few calls that show, hide or close the window,
// and the tray plug-in is a class of its own.

#include PLUGIN_HEADER

#include <flutter/method_channel.h>
#include <flutter/plugin_registrar_windows.h>
#include <flutter/standard_method_codec.h>
#include <windows.h>

#include <memory>
#include <string>

#ifdef PLUGIN_TRAY_MANAGER
#include "tray_plugin.h"
#endif

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
  }

  ~StandInPlugin() override {
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
    } else if (method == "close") {
      // As the published plug-in closes it: through the system menu's
      // command, so that the window's own close handling runs.
      PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
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

  flutter::PluginRegistrarWindows* registrar_;
  std::unique_ptr<flutter::MethodChannel<>> channel_;
};

}  // namespace

void PLUGIN_FUNCTION(FlutterDesktopPluginRegistrarRef registrar) {
  auto* windows_registrar =
      flutter::PluginRegistrarManager::GetInstance()
          ->GetRegistrar<flutter::PluginRegistrarWindows>(registrar);
#ifdef PLUGIN_TRAY_MANAGER
  windows_registrar->AddPlugin(std::make_unique<TrayPlugin>(windows_registrar));
#else
  windows_registrar->AddPlugin(
      std::make_unique<StandInPlugin>(windows_registrar));
#endif
}
