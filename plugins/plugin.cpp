// A stand-in plug-in: it registers with the engine like the real one, and
// the window manager serves the few calls that show or hide the window.

#include PLUGIN_HEADER

#include <flutter/method_channel.h>
#include <flutter/plugin_registrar_windows.h>
#include <flutter/standard_method_codec.h>
#include <windows.h>

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
  windows_registrar->AddPlugin(
      std::make_unique<StandInPlugin>(windows_registrar));
}
