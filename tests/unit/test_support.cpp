#include "test_support.h"

#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

// Under Wine a crashed program exits with code 0, which CTest counts as a
// pass; the faults these tests look for often show only as a crash. Says
// where, as a module offset that addr2line reads.
LONG WINAPI ExitOnCrash(EXCEPTION_POINTERS* pointers) {
  const auto* address = static_cast<const char*>(pointers->ExceptionRecord->ExceptionAddress);
  HMODULE module = nullptr;
  wchar_t name[MAX_PATH] = L"?";
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(address), &module)) {
    GetModuleFileNameW(module, name, MAX_PATH);
  }
  std::fprintf(stderr, "crash: exception 0x%08lx at %ls+0x%llx\n",
               static_cast<unsigned long>(pointers->ExceptionRecord->ExceptionCode), name,
               static_cast<unsigned long long>(address - reinterpret_cast<const char*>(module)));
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

std::wstring PassiveProjectFolder() { return ProgramFolder() + L"\\passive_app"; }

bool PumpUntil(const std::function<bool()>& done, int timeout_ms) {
  const ULONGLONG deadline = GetTickCount64() + timeout_ms;
  while (!done()) {
    if (GetTickCount64() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
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

bool FileHas(const std::wstring& path, const std::string& text, int timeout_ms) {
  return PumpUntil([&] { return ReadFileBytes(path).find(text) != std::string::npos; },
                   timeout_ms);
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

// The first top-level window of |window_class| titled |title| that |wanted|
// accepts, given the window and its process.
static HWND TopWindow(const wchar_t* window_class, const wchar_t* title,
                      const std::function<bool(HWND, DWORD)>& wanted) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, window_class, title)) != nullptr) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (wanted(window, process)) return window;
  }
  return nullptr;
}

HWND RunnerWindowOf(DWORD process_id) {
  return TopWindow(L"FLUTTER_RUNNER_WIN32_WINDOW", nullptr,
                   [process_id](HWND, DWORD process) { return process == process_id; });
}

HWND ShownWindow(const wchar_t* window_class, const wchar_t* title,
                 const std::function<bool(DWORD process)>& wanted) {
  return TopWindow(window_class, title, [&](HWND window, DWORD process) {
    return IsWindowVisible(window) && wanted(process);
  });
}

PROCESS_INFORMATION StartProgram(const std::wstring& program, const std::wstring& arguments,
                                 const Environment& env) {
  for (const auto& [name, value] : env) SetEnvironmentVariableW(name, value.c_str());
  const std::wstring folder = program.substr(0, program.find_last_of(L"\\/"));
  std::wstring command = L"\"" + program + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                     &startup, &process)) {
    CloseHandle(process.hThread);
  }
  for (const auto& variable : env) SetEnvironmentVariableW(variable.first, nullptr);
  return process;
}

PROCESS_INFORMATION StartKorvex(const std::wstring& arguments, const Environment& env) {
  return StartProgram(ProgramFolder() + L"\\..\\out\\korvex.exe", arguments, env);
}

DWORD Finish(const PROCESS_INFORMATION& process, DWORD timeout_ms) {
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process.hProcess, timeout_ms) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &code);
  }
  return code;
}

DWORD CloseKorvex(const PROCESS_INFORMATION& process) {
  if (HWND window = RunnerWindowOf(process.dwProcessId)) PostMessageW(window, WM_CLOSE, 0, 0);
  const DWORD code = Finish(process, 10000);
  if (code == STILL_ACTIVE) {
    TerminateProcess(process.hProcess, 99);
    WaitForSingleObject(process.hProcess, 5000);
  }
  return code;
}

bool TrayIconShown(HWND window) {
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = window;
  data.uID = 1;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

bool PutClipboardData(UINT format, const void* data, size_t size) {
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  std::memcpy(GlobalLock(memory), data, size);
  GlobalUnlock(memory);
  return SetClipboardData(format, memory) != nullptr;
}

std::string ClipboardBytes(UINT format) {
  if (!OpenClipboard(nullptr)) return "<closed>";
  std::string bytes = "<none>";
  if (HANDLE data = GetClipboardData(format)) {
    const char* block = static_cast<const char*>(GlobalLock(data));
    bytes.assign(block, block + GlobalSize(data));
    GlobalUnlock(data);
  }
  CloseClipboard();
  return bytes;
}

bool UnderWine() {
  return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

}  // namespace test_support
