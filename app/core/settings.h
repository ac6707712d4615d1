#ifndef KORVEX_APP_CORE_SETTINGS_H_
#define KORVEX_APP_CORE_SETTINGS_H_

// The user's settings file: "name = value" lines, "#" starts a comment.
// Unknown names and unreadable values keep the defaults.

#include <string>
#include <string_view>

namespace korvex_app {

struct Settings {
  bool auto_repair = true;
  bool key_sounds = false;
};

Settings ParseSettings(std::string_view text);

// The file |previous| with |settings| in it: every line of a setting says
// its new value (a comment after it stays), a missing one is added at the
// end, and every other line is kept as it was.
std::string UpdateSettingsText(std::string_view previous,
                               const Settings& settings);

}  // namespace korvex_app

#endif  // KORVEX_APP_CORE_SETTINGS_H_
