#include "exceptions_file.h"

#include <windows.h>

#include <shlobj.h>

namespace {

// A file this large was not written by the application.
constexpr LONGLONG kMaxBytes = 1 << 20;

std::wstring FolderPath() {
  wchar_t folder[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder))) {
    return std::wstring();
  }
  return std::wstring(folder) + L"\\Korvex";
}

}  // namespace

std::string ReadExceptionsFile() {
  const std::wstring folder = FolderPath();
  if (folder.empty()) {
    return std::string();
  }
  const HANDLE file = CreateFileW((folder + L"\\repair_exceptions.txt").c_str(),
                                  GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return std::string();
  }
  std::string text;
  LARGE_INTEGER size = {};
  if (GetFileSizeEx(file, &size) && size.QuadPart <= kMaxBytes) {
    text.resize(static_cast<size_t>(size.QuadPart));
    DWORD read = 0;
    if (!text.empty() &&
        !ReadFile(file, &text[0], static_cast<DWORD>(text.size()), &read, nullptr)) {
      read = 0;
    }
    text.resize(read);
  }
  CloseHandle(file);
  return text;
}

bool WriteExceptionsFile(const std::string& text) {
  const std::wstring folder = FolderPath();
  if (folder.empty()) {
    return false;
  }
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring path = folder + L"\\repair_exceptions.txt";
  const std::wstring temporary = path + L".tmp";
  const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return false;
  }
  DWORD written = 0;
  const bool complete =
      WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
      written == text.size() && FlushFileBuffers(file);
  CloseHandle(file);
  if (!complete ||
      !MoveFileExW(temporary.c_str(), path.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}
