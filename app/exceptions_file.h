#ifndef KORVEX_APP_EXCEPTIONS_FILE_H_
#define KORVEX_APP_EXCEPTIONS_FILE_H_

// Where what the user taught the repair is kept: "repair_exceptions.txt"
// beside "%APPDATA%\Korvex\settings.ini" (its format: RepairExceptions).

#include <string>

// Empty when the file is missing, unreadable or implausibly large.
std::string ReadExceptionsFile();
// Whole or not at all: a temporary file, then a rename over the old one.
bool WriteExceptionsFile(const std::string& text);

#endif  // KORVEX_APP_EXCEPTIONS_FILE_H_
