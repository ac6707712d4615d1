#include "settings_file.h"

#include <windows.h>

#include <shlobj.h>

namespace {

// A settings file is small; more than this is not one.
constexpr DWORD kMaxSettingsBytes = 1 << 20;

std::wstring SettingsPath() {
  const std::wstring folder = SettingsFolder();
  return folder.empty() ? std::wstring() : folder + L"\\settings.ini";
}

std::string ReadSettingsText() {
  HANDLE file = CreateFileW(SettingsPath().c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::string();
  }
  std::string text(kMaxSettingsBytes, '\0');
  DWORD read = 0;
  if (!ReadFile(file, &text[0], kMaxSettingsBytes, &read, nullptr)) {
    read = 0;
  }
  CloseHandle(file);
  text.resize(read);
  return text;
}

bool WriteAll(const std::wstring& path, const std::string& text) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const bool whole =
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr) &&
      written == text.size() && FlushFileBuffers(file);
  CloseHandle(file);
  return whole;
}

}  // namespace

std::wstring SettingsFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) {
    return std::wstring();
  }
  return std::wstring(folder) + L"\\Korvex";
}

korvex_app::Settings LoadSettings() {
  return korvex_app::ParseSettings(ReadSettingsText());
}

bool SaveSettings(const korvex_app::Settings& settings) {
  const std::wstring folder = SettingsFolder();
  if (folder.empty()) {
    return false;
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::string text =
      korvex_app::UpdateSettingsText(ReadSettingsText(), settings);
  // Beside the file, so that the move stays on one volume.
  wchar_t temporary[MAX_PATH] = {};
  if (!GetTempFileNameW(folder.c_str(), L"set", 0, temporary)) {
    return false;
  }
  if (WriteAll(temporary, text) &&
      MoveFileExW(temporary, SettingsPath().c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary);
  return false;
}
