#ifndef KORVEX_APP_CORE_TRAY_MODEL_H_
#define KORVEX_APP_CORE_TRAY_MODEL_H_

// What the notification-area icon offers, in the tray plug-in's published
// terms: the menu map, the tool tip, and what the plug-in's calls back to
// the application ask for.

#include <flutter/encodable_value.h>

#include <string>

namespace korvex_app {

struct TrayState {
  bool auto_repair = true;
  bool key_sounds = false;
  bool autostart = false;
};

enum class TrayCommand {
  kNone,
  kShowMenu,
  kToggleAutoRepair,
  kToggleKeySounds,
  kToggleAutostart,
  kOpenSettingsFolder,
  kQuit,
};

// The "menu" of "setContextMenu": {"items": [...]}, each item with its
// id, key, type, label, and "checked" for the three switches.
flutter::EncodableValue TrayMenuMap(const TrayState& state);

// The menu in words, for the application's log: "[x] Automatic repair,
// [ ] Key sounds, ..., Quit".
std::string TrayMenuText(const TrayState& state);

// Says the state: "Korvex: automatic repair on, key sounds off".
std::string TrayToolTip(const TrayState& state);

// The plug-in's call |method| with |arguments|: a left click toggles
// automatic repair, a right click asks for the menu, a menu item click
// names its item by id. Anything else asks for nothing.
TrayCommand TrayCommandFor(const std::string& method,
                           const flutter::EncodableValue& arguments);

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_TRAY_MODEL_H_
