#include "test_support.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// Under Wine a crashed program exits with code 0, which CTest counts as a
// pass; the faults these tests look for often show only as a crash.
LONG WINAPI ExitOnCrash(EXCEPTION_POINTERS* pointers) {
  // Where, as a module offset that addr2line reads.
  const auto* address =
      static_cast<const char*>(pointers->ExceptionRecord->ExceptionAddress);
  HMODULE module = nullptr;
  wchar_t name[MAX_PATH] = L"?";
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(address), &module)) {
    GetModuleFileNameW(module, name, MAX_PATH);
  }
  std::fprintf(stderr, "crash: exception 0x%08lx at %ls+0x%llx\n",
               static_cast<unsigned long>(
                   pointers->ExceptionRecord->ExceptionCode),
               name,
               static_cast<unsigned long long>(
                   address - reinterpret_cast<const char*>(module)));
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 3);
  return EXCEPTION_EXECUTE_HANDLER;
}
[[maybe_unused]] const LPTOP_LEVEL_EXCEPTION_FILTER previous_filter =
    SetUnhandledExceptionFilter(ExitOnCrash);

}  // namespace

namespace test_support {

std::wstring ProgramFolder() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring text(path);
  return text.substr(0, text.find_last_of(L"\\/"));
}

std::wstring OutputFolder() {
  return ProgramFolder() + L"\\..\\out";
}

std::wstring PassiveProjectFolder() {
  return ProgramFolder() + L"\\passive_app";
}

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      return false;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE,
                              static_cast<DWORD>(left.count() < 20 ? left.count() : 20),
                              QS_ALLINPUT);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  return true;
}

std::string ReadFileBytes(const std::wstring& path) {
  std::ifstream file(std::filesystem::path(path), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::wstring TempFolder() {
  wchar_t folder[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, folder);
  return folder;
}

std::wstring TempFilePath(const wchar_t* prefix) {
  wchar_t path[MAX_PATH] = {};
  GetTempFileNameW(TempFolder().c_str(), prefix, 0, path);
  return path;
}

LRESULT SendRecord(HWND window, ULONG_PTR tag, const void* data, DWORD size) {
  COPYDATASTRUCT record = {tag, size, const_cast<void*>(data)};
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record),
                      SMTO_NORMAL, 10000, &result);
  return static_cast<LRESULT>(result);
}

HWND RunnerWindowOf(DWORD process_id) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"FLUTTER_RUNNER_WIN32_WINDOW",
                                 nullptr)) != nullptr) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == process_id) return window;
  }
  return nullptr;
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") !=
         nullptr;
}

}  // namespace test_support
