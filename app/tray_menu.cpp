#include "tray_menu.h"

#include <windows.h>

#include <shellapi.h>

#include <utility>

#include "autostart.h"
#include "user_files.h"

namespace {

using flutter::EncodableMap;
using flutter::EncodableValue;
using korvex_app::TrayCommand;

constexpr char kTrayChannel[] = "tray_manager";

EncodableValue Arguments(const char* key, EncodableValue value) {
  return EncodableValue(EncodableMap{{EncodableValue(key), std::move(value)}});
}

}  // namespace

TrayMenu::TrayMenu(flutter_app::AppMessenger& app, const std::string& assets,
                   const korvex_app::Settings& settings, Actions actions)
    : app_(app), assets_(assets), settings_(settings), actions_(std::move(actions)) {
  app_.SetMethodCallHandler(
      kTrayChannel, [this](const std::string& method, const EncodableValue& arguments) {
        commands_.push_back(korvex_app::TrayCommandFor(method, arguments));
        return flutter_app::Answer::Success();
      });
}

TrayMenu::~TrayMenu() { app_.SetMethodCallHandler(kTrayChannel, nullptr); }

korvex_app::TrayState TrayMenu::State() const {
  // The Run value is read each time: the installer or the user may have
  // changed it since.
  return {settings_.auto_repair, settings_.key_sounds, AutostartEnabled()};
}

void TrayMenu::SendMenu(const korvex_app::TrayState& state) {
  app_.InvokeMethod(kTrayChannel, "setContextMenu",
                    Arguments("menu", korvex_app::TrayMenuMap(state)), nullptr);
}

void TrayMenu::Refresh() {
  const std::string icon = settings_.auto_repair ? "korvex_tray.ico" : "korvex_tray_off.ico";
  const korvex_app::TrayState state = State();
  const std::string tool_tip = korvex_app::TrayToolTip(state);
  app_.InvokeMethod(kTrayChannel, "setIcon",
                    Arguments("iconPath", EncodableValue(assets_ + icon)), nullptr);
  app_.InvokeMethod(kTrayChannel, "setToolTip",
                    Arguments("toolTip", EncodableValue(tool_tip)), nullptr);
  SendMenu(state);
  actions_.note("tray", icon + " " + tool_tip);
}

void TrayMenu::Show(bool balloon) {
  Refresh();
  if (balloon) {
    EncodableMap text{
        {EncodableValue("title"), EncodableValue("Korvex")},
        {EncodableValue("body"),
         EncodableValue("Korvex is running; right-click the icon for options")}};
    app_.InvokeMethod("korvex/notifications", "show", EncodableValue(text), nullptr);
  }
}

void TrayMenu::OpenUserFilesFolder() {
  const std::wstring folder = UserFilesFolder();
  if (folder.empty()) {
    return;
  }
  // The file the user came for is there even before anything was switched.
  if (GetFileAttributesW((folder + L"\\settings.ini").c_str()) ==
      INVALID_FILE_ATTRIBUTES) {
    SaveSettings(settings_);
  }
  ShellExecuteW(nullptr, L"open", folder.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void TrayMenu::Act() {
  settings_save_.Retry();
  while (!commands_.empty()) {
    const TrayCommand command = commands_.front();
    commands_.pop_front();
    switch (command) {
      case TrayCommand::kShowMenu: {
        const korvex_app::TrayState state = State();
        SendMenu(state);
        actions_.note("menu", korvex_app::TrayMenuText(state));
        app_.InvokeMethod(kTrayChannel, "popUpContextMenu",
                          Arguments("bringAppToFront", EncodableValue(false)), nullptr);
        break;
      }
      case TrayCommand::kToggleAutoRepair:
      case TrayCommand::kToggleKeySounds: {
        const bool auto_repair = command == TrayCommand::kToggleAutoRepair;
        bool& setting = auto_repair ? settings_.auto_repair : settings_.key_sounds;
        setting = !setting;
        (auto_repair ? actions_.set_auto_repair : actions_.set_key_sounds)(setting);
        if (!settings_save_.Save()) {
          actions_.note("settingsNotSaved", "");
        }
        Refresh();
        break;
      }
      case TrayCommand::kToggleAutostart:
        SetAutostart(!AutostartEnabled());
        Refresh();
        break;
      case TrayCommand::kOpenSettingsFolder:
        OpenUserFilesFolder();
        break;
      case TrayCommand::kQuit:
        // The window's own close: hooks out, queue flushed, replies sent.
        actions_.note("quit", "");
        app_.CallMethod("window_manager", "close");
        break;
      case TrayCommand::kNone:
        break;
    }
  }
}
