#ifndef KORVEX_RUNNER_UTILS_H_
#define KORVEX_RUNNER_UTILS_H_

#include <string>
#include <vector>

// Creates a console and binds the standard streams to it.
void CreateAndAttachConsole();

// The process's arguments without the program name, as UTF-8.
std::vector<std::string> GetCommandLineArguments();

// Strict conversion: invalid UTF-16 gives an empty string. Null is empty.
std::string Utf8FromCommandLineArgument(const wchar_t* text);

// True when the text from the last "." on is ".kvd", in any letter case.
bool IsDocumentArgument(const wchar_t* argument);

#endif  // KORVEX_RUNNER_UTILS_H_
