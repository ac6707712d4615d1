#ifndef KORVEX_APP_CORE_SETTINGS_H_
#define KORVEX_APP_CORE_SETTINGS_H_

// The user's settings file: "name = value" lines, "#" starts a comment.
// Unknown names and unreadable values keep the defaults.

#include <string_view>

namespace korvex_app {

struct Settings {
  bool auto_repair = true;
  bool key_sounds = false;
};

Settings ParseSettings(std::string_view text);

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_SETTINGS_H_
