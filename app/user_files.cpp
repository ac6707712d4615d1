#include "user_files.h"

#include <windows.h>

#include <shlobj.h>

namespace {

// Neither file is ever this large when the application wrote it.
constexpr DWORD kMaxFileBytes = 1 << 20;

std::wstring PathOf(const wchar_t* name) {
  const std::wstring folder = UserFilesFolder();
  return folder.empty() ? std::wstring() : folder + L"\\" + name;
}

std::string ReadWhole(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::string();
  }
  std::string text;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file, &size) && size.QuadPart <= kMaxFileBytes) {
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!text.empty() && !ReadFile(file, &text[0], static_cast<DWORD>(text.size()),
                                   &read, nullptr)) {
      read = 0;
    }
    text.resize(read);
  }
  CloseHandle(file);
  return text;
}

bool WriteWhole(const std::wstring& path, const std::string& text) {
  const std::wstring folder = UserFilesFolder();
  if (folder.empty()) {
    return false;
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  // Beside the file, so that the move stays on one volume.
  wchar_t temporary[MAX_PATH] = {};
  if (!GetTempFileNameW(folder.c_str(), L"kvx", 0, temporary)) {
    return false;
  }
  HANDLE file = CreateFileW(temporary, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool whole =
      file != INVALID_HANDLE_VALUE &&
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written,
                nullptr) &&
      written == text.size() && FlushFileBuffers(file);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
  }
  if (whole && MoveFileExW(temporary, path.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary);
  return false;
}

}  // namespace

std::wstring UserFilesFolder() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) {
    return std::wstring();
  }
  return std::wstring(folder) + L"\\Korvex";
}

korvex_app::Settings LoadSettings() {
  return korvex_app::ParseSettings(ReadWhole(PathOf(L"settings.ini")));
}

bool SaveSettings(const korvex_app::Settings& settings) {
  const std::wstring path = PathOf(L"settings.ini");
  return !path.empty() &&
         WriteWhole(path, korvex_app::UpdateSettingsText(ReadWhole(path), settings));
}

std::string ReadExceptionsFile() {
  return ReadWhole(PathOf(L"repair_exceptions.txt"));
}

bool WriteExceptionsFile(const std::string& text) {
  const std::wstring path = PathOf(L"repair_exceptions.txt");
  return !path.empty() && WriteWhole(path, text);
}

bool RetriedSave::Save() {
  waiting_ = true;
  next_try_ms_ = 0;
  return Retry();
}

bool RetriedSave::Retry() {
  if (!waiting_ || GetTickCount64() < next_try_ms_) {
    return false;
  }
  waiting_ = !save_();
  next_try_ms_ = GetTickCount64() + 250;
  return !waiting_;
}
