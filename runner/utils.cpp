#include "utils.h"

#include <flutter_windows.h>
#include <io.h>
#include <shellapi.h>
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <iostream>

void CreateAndAttachConsole() {
  if (!::AllocConsole()) {
    return;
  }
  FILE* unused;
  if (freopen_s(&unused, "CONOUT$", "w", stdout)) {
    _dup2(_fileno(stdout), 1);
  }
  if (freopen_s(&unused, "CONOUT$", "w", stderr)) {
    _dup2(_fileno(stdout), 2);
  }
  std::ios::sync_with_stdio();
  FlutterDesktopResyncOutputStreams();
}

std::vector<std::string> GetCommandLineArguments() {
  int argc = 0;
  wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
  if (argv == nullptr) {
    return std::vector<std::string>();
  }
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    arguments.push_back(Utf8FromCommandLineArgument(argv[i]));
  }
  ::LocalFree(argv);
  return arguments;
}

std::string Utf8FromCommandLineArgument(const wchar_t* text) {
  if (text == nullptr) {
    return std::string();
  }
  const int length = static_cast<int>(wcsnlen(text, 32767));
  const int size = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text,
                                         length, nullptr, 0, nullptr, nullptr);
  if (size == 0) {
    return std::string();
  }
  std::string result(size, '\0');
  if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length,
                            &result[0], size, nullptr, nullptr) == 0) {
    return std::string();
  }
  return result;
}

bool IsDocumentArgument(const wchar_t* argument) {
  if (argument == nullptr) {
    return false;
  }
  const wchar_t* dot = std::wcsrchr(argument, L'.');
  return dot != nullptr && _wcsicmp(dot, L".kvd") == 0;
}
