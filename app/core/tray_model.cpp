#include "core/tray_model.h"

#include <iterator>

namespace korvex_app {

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

struct Item {
  const char* key;
  const char* type;
  const char* label;  // "&" marks the access key
  TrayCommand command;
};

// An item's id is its place here plus one; the ids stay the same from menu
// to menu, so a click on an older one still means the same.
constexpr Item kItems[] = {
    {"autoRepair", "checkbox", "&Automatic repair", TrayCommand::kToggleAutoRepair},
    {"keySounds", "checkbox", "&Key sounds", TrayCommand::kToggleKeySounds},
    {"startWithWindows", "checkbox", "&Start with Windows", TrayCommand::kToggleAutostart},
    {"", "separator", "", TrayCommand::kNone},
    {"openSettingsFolder", "normal", "&Open settings folder", TrayCommand::kOpenSettingsFolder},
    {"", "separator", "", TrayCommand::kNone},
    {"quit", "normal", "&Quit", TrayCommand::kQuit},
};

bool Checked(TrayCommand command, const TrayState& state) {
  switch (command) {
    case TrayCommand::kToggleAutoRepair:
      return state.auto_repair;
    case TrayCommand::kToggleKeySounds:
      return state.key_sounds;
    case TrayCommand::kToggleAutostart:
      return state.autostart;
    default:
      return false;
  }
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

}  // namespace

EncodableValue TrayMenuMap(const TrayState& state) {
  EncodableList items;
  for (size_t i = 0; i < std::size(kItems); ++i) {
    const Item& item = kItems[i];
    EncodableMap map{
        {EncodableValue("id"), EncodableValue(static_cast<int32_t>(i + 1))},
        {EncodableValue("type"), EncodableValue(item.type)},
        {EncodableValue("label"), EncodableValue(item.label)},
        {EncodableValue("disabled"), EncodableValue(false)}};
    if (*item.key) {
      map.emplace(EncodableValue("key"), EncodableValue(item.key));
    }
    if (std::string(item.type) == "checkbox") {
      map.emplace(EncodableValue("checked"),
                  EncodableValue(Checked(item.command, state)));
    }
    items.emplace_back(std::move(map));
  }
  return EncodableValue(EncodableMap{{EncodableValue("items"), EncodableValue(items)}});
}

std::string TrayMenuText(const TrayState& state) {
  std::string text;
  for (const Item& item : kItems) {
    if (std::string(item.type) == "separator") {
      continue;
    }
    text += text.empty() ? "" : ", ";
    if (std::string(item.type) == "checkbox") {
      text += Checked(item.command, state) ? "[x] " : "[ ] ";
    }
    for (const char* c = item.label; *c; ++c) {
      if (*c != '&') text += *c;
    }
  }
  return text;
}

std::string TrayToolTip(const TrayState& state) {
  return std::string("Korvex: automatic repair ") + OnOff(state.auto_repair) +
         ", key sounds " + OnOff(state.key_sounds);
}

TrayCommand TrayCommandFor(const std::string& method,
                           const EncodableValue& arguments) {
  if (method == "onTrayIconMouseDown") {
    return TrayCommand::kToggleAutoRepair;
  }
  if (method == "onTrayIconRightMouseDown") {
    return TrayCommand::kShowMenu;
  }
  const auto* map = std::get_if<EncodableMap>(&arguments);
  if (method != "onTrayMenuItemClick" || !map) {
    return TrayCommand::kNone;
  }
  const auto found = map->find(EncodableValue("id"));
  const int32_t* id =
      found == map->end() ? nullptr : std::get_if<int32_t>(&found->second);
  if (!id || *id < 1 || *id > static_cast<int32_t>(std::size(kItems))) {
    return TrayCommand::kNone;
  }
  return kItems[*id - 1].command;
}

}  // namespace korvex_app
