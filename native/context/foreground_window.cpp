#include "context/foreground_window.h"

#include <tlhelp32.h>

#include <cwchar>
#include <cwctype>
#include <iterator>

#include "common/service_state.h"
#include "common/text_conversion.h"

using flutter::EncodableMap;
using flutter::EncodableValue;

HWND remembered_foreground_window = nullptr;

namespace {

constexpr int kInfoClassUnits = 256;
constexpr int kClassUnits = 128;
constexpr DWORD kImagePathUnits = 260;


std::wstring LowerCase(std::wstring text) {
  for (wchar_t& unit : text) {
    unit = static_cast<wchar_t>(std::towlower(unit));
  }
  return text;
}

std::wstring ClassOf(HWND window, int units) {
  std::wstring name(static_cast<size_t>(units), L'\0');
  GetClassNameW(window, name.data(), units);
  return TextWithin(name.data(), name.size());
}

}  // namespace

EncodableMap GetForegroundWindowInfo() {
  EncodableMap info;
  HWND foreground = GetForegroundWindow();
  if (!foreground) {
    return info;
  }
  info[EncodableValue("className")] =
      EncodableValue(Utf8FromUtf16(ClassOf(foreground, kInfoClassUnits)));
  DWORD process_id = 0;
  GetWindowThreadProcessId(foreground, &process_id);
  if (process_id == 0) {
    return info;
  }
  HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (!process) {
    return info;
  }
  wchar_t path[kImagePathUnits] = {};
  DWORD size = kImagePathUnits;
  if (QueryFullProcessImageNameW(process, 0, path, &size)) {
    std::wstring name = TextWithin(path, kImagePathUnits);
    const size_t separator = name.find_last_of(L"\\/");
    if (separator != std::wstring::npos) {
      name.erase(0, separator + 1);
    }
    info[EncodableValue("exe")] = EncodableValue(Utf8FromUtf16(LowerCase(name)));
  }
  CloseHandle(process);
  return info;
}

void RememberForegroundWindow(HWND window) {
  if (!window || window == main_window) {
    return;
  }
  const std::wstring class_name = ClassOf(window, kClassUnits);
  for (const wchar_t* skipped : kSkippedWindowClasses) {
    if (std::wcscmp(class_name.c_str(), skipped) == 0) {
      return;
    }
  }
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  if (process_id == GetCurrentProcessId()) {
    return;
  }
  remembered_foreground_window = window;
}

flutter::EncodableList RunningLayoutSwitchers() {
  flutter::EncodableList found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return found;
  }
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  const DWORD own_id = GetCurrentProcessId();
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID == own_id) {
      continue;
    }
    const std::wstring name =
        TextWithin(entry.szExeFile, std::size(entry.szExeFile));
    const std::wstring lower = LowerCase(name);
    for (const wchar_t* fragment : kLayoutSwitcherNames) {
      if (lower.find(fragment) != std::wstring::npos) {
        found.push_back(EncodableValue(Utf8FromUtf16(name)));
        break;
      }
    }
  }
  CloseHandle(snapshot);
  return found;
}

std::string WindowClassUtf8(HWND window) {
  return window ? Utf8FromUtf16(ClassOf(window, kClassUnits)) : std::string();
}
