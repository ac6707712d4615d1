#ifndef KORVEX_PLUGINS_TRAY_PLUGIN_H_
#define KORVEX_PLUGINS_TRAY_PLUGIN_H_

// The tray plug-in's stand-in: the notification-area icon, its tool tip
// and its pop-up menu, on the published "tray_manager" channel.

#include <flutter/encodable_value.h>
#include <flutter/method_channel.h>
#include <flutter/plugin_registrar_windows.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class TrayPlugin : public flutter::Plugin {
 public:
  explicit TrayPlugin(flutter::PluginRegistrarWindows* registrar);
  ~TrayPlugin() override;
  TrayPlugin(const TrayPlugin&) = delete;
  TrayPlugin& operator=(const TrayPlugin&) = delete;

  // One entry of the published menu map.
  struct MenuEntry {
    enum class Kind { kNormal, kCheckbox, kSeparator, kSubmenu };
    Kind kind = Kind::kNormal;
    std::optional<int64_t> id;  // what a click reports
    std::wstring label;
    bool checked = false;
    bool disabled = false;
    std::vector<MenuEntry> submenu;
  };

 private:
  void HandleCall(const flutter::MethodCall<flutter::EncodableValue>& call,
                  std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);
  std::optional<LRESULT> HandleWindowMessage(HWND window, UINT message,
                                             WPARAM wparam, LPARAM lparam);
  HWND TopLevelWindow() const;
  // Adds the icon, or changes it; true when the notification area has it.
  bool ApplyIcon(HWND window);
  void RemoveIcon();
  void SetIcon(const flutter::EncodableValue* arguments);
  void PopUpMenu();

  flutter::PluginRegistrarWindows* registrar_;
  std::unique_ptr<flutter::MethodChannel<flutter::EncodableValue>> channel_;
  int window_proc_id_ = 0;
  UINT taskbar_created_ = 0;

  bool icon_wanted_ = false;     // from "setIcon" to "destroy"
  HWND icon_window_ = nullptr;  // the icon's owner once it is shown
  HICON icon_ = nullptr;
  bool icon_from_file_ = false;  // ours to destroy
  std::wstring tool_tip_;
  std::vector<MenuEntry> menu_;
  bool tracking_menu_ = false;
  bool close_after_menu_ = false;
};

#endif  // KORVEX_PLUGINS_TRAY_PLUGIN_H_
