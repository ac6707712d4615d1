#ifndef KORVEX_APP_TRAY_MENU_H_
#define KORVEX_APP_TRAY_MENU_H_

// The notification-area icon and its menu, through the tray plug-in's
// published channel. What the user switches there takes effect at once, is
// saved, and shows in the icon, its tool tip and the menu's check marks.

#include <flutter_app/app_messenger.h>

#include <deque>
#include <functional>
#include <string>

#include "core/settings.h"
#include "core/tray_model.h"
#include "user_files.h"

class TrayMenu {
 public:
  struct Actions {
    std::function<void(bool enabled)> set_auto_repair;
    std::function<void(bool enabled)> set_key_sounds;
    // What the application did, for its log.
    std::function<void(const std::string& kind, const std::string& text)> note;
  };

  // |assets|: the folder of the icon files (UTF-8, with its separator).
  TrayMenu(flutter_app::AppMessenger& app, const std::string& assets,
           const korvex_app::Settings& settings, Actions actions);
  ~TrayMenu();
  TrayMenu(const TrayMenu&) = delete;
  TrayMenu& operator=(const TrayMenu&) = delete;

  // The icon with its tool tip and menu; with |balloon| the start balloon.
  void Show(bool balloon);
  // Carries out what the user asked for since the last call. The plug-in's
  // calls only queue up, so that nothing runs inside a wait for the host.
  void Act();

 private:
  korvex_app::TrayState State() const;
  void SendMenu(const korvex_app::TrayState& state);
  void Refresh();
  void OpenUserFilesFolder();

  flutter_app::AppMessenger& app_;
  std::string assets_;
  korvex_app::Settings settings_;
  RetriedSave settings_save_{[this] { return SaveSettings(settings_); }};
  Actions actions_;
  std::deque<korvex_app::TrayCommand> commands_;
};

#endif  // KORVEX_APP_TRAY_MENU_H_
