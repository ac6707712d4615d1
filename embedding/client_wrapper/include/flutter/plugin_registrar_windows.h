#ifndef FLUTTER_PLUGIN_REGISTRAR_WINDOWS_H_
#define FLUTTER_PLUGIN_REGISTRAR_WINDOWS_H_

#include <flutter_windows.h>
#include <windows.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "flutter_view.h"
#include "plugin_registrar.h"

namespace flutter {

// Sees top-level window messages before the window does; a value means
// the message was handled with that result.
using WindowProcDelegate = std::function<
    std::optional<LRESULT>(HWND hwnd, UINT message, WPARAM wparam,
                           LPARAM lparam)>;

// The registrar with the Windows additions: the view and top-level
// window-message delegates.
class PluginRegistrarWindows : public PluginRegistrar {
 public:
  explicit PluginRegistrarWindows(
      FlutterDesktopPluginRegistrarRef core_registrar)
      : PluginRegistrar(core_registrar) {
    FlutterDesktopViewRef view =
        FlutterDesktopPluginRegistrarGetView(core_registrar);
    if (view) {
      view_ = std::make_unique<FlutterView>(view);
    }
  }

  virtual ~PluginRegistrarWindows() {
    // Plug-ins may hold delegates into themselves: drop them first.
    ClearPlugins();
    if (!window_proc_delegates_.empty()) {
      FlutterDesktopPluginRegistrarUnregisterTopLevelWindowProcDelegate(
          registrar(), OnTopLevelWindowProc);
    }
  }

  PluginRegistrarWindows(PluginRegistrarWindows const&) = delete;
  PluginRegistrarWindows& operator=(PluginRegistrarWindows const&) = delete;

  FlutterView* GetView() { return view_.get(); }

  int RegisterTopLevelWindowProcDelegate(WindowProcDelegate delegate) {
    if (window_proc_delegates_.empty()) {
      FlutterDesktopPluginRegistrarRegisterTopLevelWindowProcDelegate(
          registrar(), OnTopLevelWindowProc, this);
    }
    const int id = next_window_proc_delegate_id_++;
    window_proc_delegates_.emplace(id, std::move(delegate));
    return id;
  }

  void UnregisterTopLevelWindowProcDelegate(int proc_id) {
    window_proc_delegates_.erase(proc_id);
    if (window_proc_delegates_.empty()) {
      FlutterDesktopPluginRegistrarUnregisterTopLevelWindowProcDelegate(
          registrar(), OnTopLevelWindowProc);
    }
  }

 private:
  static bool OnTopLevelWindowProc(HWND hwnd,
                                   UINT message,
                                   WPARAM wparam,
                                   LPARAM lparam,
                                   void* user_data,
                                   LRESULT* result) {
    auto* self = static_cast<PluginRegistrarWindows*>(user_data);
    std::optional<LRESULT> handled;
    for (const auto& pair : self->window_proc_delegates_) {
      handled = pair.second(hwnd, message, wparam, lparam);
      if (handled) {
        *result = *handled;
        return true;
      }
    }
    return false;
  }

  std::unique_ptr<FlutterView> view_;
  std::map<int, WindowProcDelegate> window_proc_delegates_;
  int next_window_proc_delegate_id_ = 1;
};

}  // namespace flutter

#endif  // FLUTTER_PLUGIN_REGISTRAR_WINDOWS_H_
