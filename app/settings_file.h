#ifndef KORVEX_APP_SETTINGS_FILE_H_
#define KORVEX_APP_SETTINGS_FILE_H_

// The user's settings file, "%APPDATA%\Korvex\settings.ini".

#include <string>

#include "core/settings.h"

// "%APPDATA%\Korvex"; empty when the system names no such folder.
std::wstring SettingsFolder();

// The defaults when the file is missing or unreadable.
korvex_app::Settings LoadSettings();

// Writes |settings| into the file, keeping the user's other lines. A
// temporary file replaces the old one in one step, so that a crash or a
// full disk leaves the old file or the new, never half of one.
bool SaveSettings(const korvex_app::Settings& settings);

#endif  // KORVEX_APP_SETTINGS_FILE_H_
