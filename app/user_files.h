#ifndef KORVEX_APP_USER_FILES_H_
#define KORVEX_APP_USER_FILES_H_

// The user's files in "%APPDATA%\Korvex": "settings.ini", and
// "repair_exceptions.txt" with what the user taught the repair (its format:
// RepairExceptions). Each is read whole when it is there and plausibly
// small, and written whole or not at all: a temporary file beside it
// replaces the old one in one step, so that a crash or a full disk leaves
// the old file or the new, never half of one.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "core/settings.h"

// Empty when the system names no such folder.
std::wstring UserFilesFolder();

// The defaults when the file is missing or unreadable.
korvex_app::Settings LoadSettings();
// Keeps the user's other lines.
bool SaveSettings(const korvex_app::Settings& settings);

// Empty when the file is missing or unreadable.
std::string ReadExceptionsFile();
bool WriteExceptionsFile(const std::string& text);

// A save that failed, say because another program held the file open
// (a replacing move cannot pass that), is tried again from the
// application's loop, at most every 250 ms, until it lands.
class RetriedSave {
 public:
  explicit RetriedSave(std::function<bool()> save) : save_(std::move(save)) {}
  // Whether it landed now; if not, Retry goes on with it.
  bool Save();
  // Whether a save that was waiting landed now.
  bool Retry();

 private:
  std::function<bool()> save_;
  bool waiting_ = false;
  uint64_t next_try_ms_ = 0;
};

#endif  // KORVEX_APP_USER_FILES_H_
