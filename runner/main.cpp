#include <flutter/dart_project.h>
#include <flutter/flutter_view_controller.h>
#include <shellapi.h>
#include <windows.h>
#include <objbase.h>

#include <cwchar>

#include "bridge/native_services.h"
#include "diagnostics/self_test.h"
#include "flutter_window.h"
#include "utils.h"

namespace {

constexpr wchar_t kRunnerWindowClass[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
constexpr wchar_t kExecutableName[] = L"korvex.exe";
constexpr UINT kHandOverTimeoutMs = 5000;

bool Contains(const wchar_t* text, const wchar_t* part) {
  return text != nullptr && std::wcsstr(text, part) != nullptr;
}

}  // namespace

// Finds the running instance's runner window: our class, our executable.
BOOL CALLBACK FindRunningInstance(HWND window, LPARAM parameter) {
  wchar_t class_name[64];
  if (GetClassNameW(window, class_name, 64) == 0 ||
      std::wcscmp(class_name, kRunnerWindowClass) != 0) {
    return TRUE;
  }
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  if (process_id == 0) {
    return TRUE;
  }
  HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
  if (!process) {
    return TRUE;
  }
  wchar_t image[260] = {};
  DWORD size = 260;
  const BOOL named = QueryFullProcessImageNameW(process, 0, image, &size);
  CloseHandle(process);
  if (!named) {
    return TRUE;
  }
  const wchar_t* slash = std::wcsrchr(image, L'\\');
  const wchar_t* file_name = slash ? slash + 1 : image;
  if (_wcsicmp(file_name, kExecutableName) != 0) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(parameter) = window;
  return FALSE;
}

namespace {

// Hands the first document argument to the running instance and brings its
// window forward.
int RunSecondInstance(const wchar_t* command_line) {
  if (Contains(command_line, L"--autostart")) {
    return 0;
  }
  HWND running = nullptr;
  EnumWindows(FindRunningInstance, reinterpret_cast<LPARAM>(&running));
  if (!running) {
    return 0;
  }
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (argv) {
    for (int i = 1; i < argc; ++i) {
      if (IsDocumentArgument(argv[i])) {
        COPYDATASTRUCT record = {};
        record.dwData = kFileHandOverTag;
        record.cbData =
            static_cast<DWORD>((std::wcslen(argv[i]) + 1) * sizeof(wchar_t));
        record.lpData = argv[i];
        // A hung instance must not hang this one too.
        DWORD_PTR handled = 0;
        SendMessageTimeoutW(running, WM_COPYDATA, 0,
                            reinterpret_cast<LPARAM>(&record),
                            SMTO_BLOCK | SMTO_ABORTIFHUNG,
                            kHandOverTimeoutMs, &handled);
        break;
      }
    }
    LocalFree(argv);
  }
  // Not ShowWindow: it waits for the running instance's thread.
  ShowWindowAsync(running, SW_RESTORE);
  SetForegroundWindow(running);
  return 0;
}

}  // namespace

int APIENTRY wWinMain(_In_ HINSTANCE, _In_opt_ HINSTANCE,
                      _In_ wchar_t* command_line, _In_ int) {
  if (Contains(command_line, L"--selftest")) {
    return RunSelfTest();
  }

  // Never closed: it marks the first instance for as long as it runs.
  CreateMutexW(nullptr, TRUE, L"Local\\korvex_single_instance");
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    return RunSecondInstance(command_line);
  }

  if (!::AttachConsole(ATTACH_PARENT_PROCESS) && ::IsDebuggerPresent()) {
    CreateAndAttachConsole();
  }

  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  flutter::DartProject project(L"data");
  project.set_dart_entrypoint_arguments(GetCommandLineArguments());

  FlutterWindow window(project);
  Win32Window::Point origin(10, 10);
  Win32Window::Size size(1280, 720);
  if (!window.Create(L"korvex", origin, size)) {
    return EXIT_FAILURE;
  }
  window.SetQuitOnClose(true);

  ::MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }

  ::CoUninitialize();
  return EXIT_SUCCESS;
}
