// The self-test: types into a window of its own through this process's
// injection path and, with an instance running, imitates a user to check
// the application's hot keys end to end.

#include "diagnostics/self_test.h"

#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "common/text_conversion.h"
#include "injection/input_synthesis.h"

namespace {

constexpr wchar_t kWindowClass[] = L"KorvexSelfTest";
constexpr int kScenarioCount = 7;
constexpr int kForegroundAttempts = 20;
constexpr DWORD kE2eTimeoutMs = 6000;
// Asks the window's thread, which reads the keyboard input, for the Caps
// Lock toggle: the worker that types reads none and would see a stale one.
constexpr UINT kCapsLockQuery = WM_APP + 1;

struct SelfTestState {
  FILE* log = nullptr;
  HWND window = nullptr;
  HWND edit = nullptr;
  bool main_app_running = false;
  HKL russian = nullptr;
  HKL english = nullptr;
  int total_failures = 0;
  SelfTestConfiguration configuration;
};
SelfTestState state;

void SelfTestLog(const std::wstring& line) {
  if (!state.log) {
    return;
  }
  const std::string bytes = Utf8FromUtf16(line) + "\n";
  fwrite(bytes.data(), 1, bytes.size(), state.log);
  fflush(state.log);
}

// A layout counts as there only when the system gives the one asked for:
// LoadKeyboardLayoutW hands back a substitute for one that is not installed.
HKL LoadLayoutIfInstalled(const wchar_t* id, WORD language) {
  HKL layout = LoadKeyboardLayoutW(id, 0);
  return layout && LOWORD(reinterpret_cast<UINT_PTR>(layout)) == language
             ? layout
             : nullptr;
}

// ---- A user's input: no marker ----

void SendRawEvent(WORD vk, WORD scan, DWORD flags) {
  INPUT input = KeyboardInput(vk, scan, flags, 0);
  SendInput(1, &input, sizeof(INPUT));
}

void SendKeyRaw(WORD vk, WORD scan) {
  SendRawEvent(vk, scan, 0);
  Sleep(15);
  SendRawEvent(vk, scan, KEYEVENTF_KEYUP);
  Sleep(15);
}

bool TypeAsUser(const wchar_t* text, HKL layout) {
  for (const wchar_t* unit = text; *unit; ++unit) {
    const SHORT scan_result = VkKeyScanExW(*unit, layout);
    if (scan_result == -1 || (scan_result & 0xFF00) != 0) {
      return false;
    }
    const WORD vk = static_cast<WORD>(scan_result & 0xFF);
    const WORD scan =
        static_cast<WORD>(MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC, layout));
    SendRawEvent(vk, scan, 0);
    Sleep(20);
    SendRawEvent(vk, scan, KEYEVENTF_KEYUP);
    Sleep(20);
  }
  return true;
}

void SendCtrlShiftChord(WORD vk) {
  const WORD scan = static_cast<WORD>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  SendRawEvent(VK_LCONTROL, 0, 0);
  Sleep(15);
  SendRawEvent(VK_LSHIFT, 0, 0);
  Sleep(30);
  SendKeyRaw(vk, scan);
  Sleep(150);
  SendRawEvent(VK_LSHIFT, 0, KEYEVENTF_KEYUP);
  Sleep(15);
  SendRawEvent(VK_LCONTROL, 0, KEYEVENTF_KEYUP);
}

bool CapsLockOn() {
  return SendMessageW(state.window, kCapsLockQuery, 0, 0) != 0;
}

// ---- The edit control ----

void SetEditText(const wchar_t* text) {
  SendMessageW(state.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
  const WPARAM length = std::wcslen(text);
  SendMessageW(state.edit, EM_SETSEL, length, static_cast<LPARAM>(length));
}

std::wstring EditText() {
  wchar_t buffer[512] = {};
  const int length = GetWindowTextW(state.edit, buffer, 512);
  return std::wstring(buffer, length > 0 ? length : 0);
}

void SwitchTestWindowLayout(HKL layout) {
  SendMessageW(state.window, WM_INPUTLANGCHANGEREQUEST, 0,
               reinterpret_cast<LPARAM>(layout));
  Sleep(100);
  SendKeyRaw(VK_BACK, 0);
  Sleep(80);
}

bool BringTestWindowToFront() {
  for (int attempt = 0; attempt < kForegroundAttempts; ++attempt) {
    HWND foreground = GetForegroundWindow();
    if (foreground == state.window) {
      return true;
    }
    const DWORD this_thread = GetCurrentThreadId();
    const DWORD other_thread =
        foreground ? GetWindowThreadProcessId(foreground, nullptr) : 0;
    const bool attach = other_thread != 0 && other_thread != this_thread;
    if (attach) {
      AttachThreadInput(this_thread, other_thread, TRUE);
    }
    SetForegroundWindow(state.window);
    BringWindowToTop(state.window);
    if (attach) {
      AttachThreadInput(this_thread, other_thread, FALSE);
    }
    if (GetForegroundWindow() == state.window) {
      return true;
    }
    TapKey(VK_MENU);
    SetForegroundWindow(state.window);
    Sleep(100);
  }
  return GetForegroundWindow() == state.window;
}

// ---- Scenarios ----

const wchar_t* const kScenarioNames[kScenarioCount] = {
    L"S1 typeText",
    L"S2 backspace",
    L"S3 replace (backspace+typeText)",
    L"S4 e2e hotkey (app pipeline)",
    L"S5 e2e Ctrl+Shift+T translit selection",
    L"S6 e2e Ctrl+Shift+U upper selection",
    L"S7 e2e Ctrl+Shift+T translit last word",
};

constexpr wchar_t kMixedText[] = L"jnkflrf отладка";

struct ScenarioResult {
  int passes = 0;
  int failures = 0;
};

// Prepares the edit and acts; false when the user's keys could not be typed
// on the layout. |expected| receives the text the edit should end with.
bool ActOut(int index, std::wstring* expected) {
  const SelfTestConfiguration& config = state.configuration;
  switch (index) {
    case 0:
      SetEditText(L"");
      TypeText(kMixedText, config.delay_ms, CapsLockOn());
      *expected = kMixedText;
      return true;
    case 1:
      SetEditText(kMixedText);
      SendBackspaces(7, config.delay_ms);
      *expected = std::wstring(kMixedText, 8);
      return true;
    case 2:
      SetEditText(L"отладка");
      SendBackspaces(7, config.delay_ms);
      if (config.settle_ms > 0) {
        Sleep(static_cast<DWORD>(config.settle_ms));
      }
      TypeText(L"jnkflrf", config.delay_ms, CapsLockOn());
      *expected = L"jnkflrf";
      return true;
    case 3:
      SwitchTestWindowLayout(state.russian);
      SetEditText(L"");
      *expected = L"jnkflrf";
      if (!TypeAsUser(L"отладка", state.russian)) {
        return false;
      }
      Sleep(200);
      SendKeyRaw(VK_LSHIFT, 0);
      Sleep(120);
      SendKeyRaw(VK_LSHIFT, 0);
      return true;
    case 4:
    case 5:
      SetEditText(L"privet mir");
      SendMessageW(state.edit, EM_SETSEL, 0, -1);
      SendCtrlShiftChord(index == 4 ? 'T' : 'U');
      *expected = index == 4 ? L"привет мир" : L"PRIVET MIR";
      return true;
    case 6:
      SwitchTestWindowLayout(state.english);
      SetEditText(L"");
      *expected = L"москва";
      if (!TypeAsUser(L"moskva", state.english)) {
        return false;
      }
      Sleep(200);
      SendCtrlShiftChord('T');
      return true;
    default:
      return true;
  }
}

ScenarioResult RunScenario(int index) {
  const bool known = index >= 0 && index < kScenarioCount;
  const std::wstring name = known ? kScenarioNames[index] : L"?";
  SelfTestLog(L"-- " + name);
  ScenarioResult result;
  for (int run = 1; run <= state.configuration.runs; ++run) {
    const std::wstring prefix = L"  run " + std::to_wstring(run) + L": ";
    if (!BringTestWindowToFront()) {
      SelfTestLog(prefix + L"FAIL lost foreground");
      ++result.failures;
      continue;
    }
    std::wstring expected;
    if (!ActOut(index, &expected)) {
      SelfTestLog(prefix + (index == 3
                                ? L"FAIL VkKeyScanEx (RU layout not applicable)"
                                : L"FAIL VkKeyScanEx (EN layout not applicable)"));
      ++result.failures;
      continue;
    }
    std::wstring actual;
    if (index <= 2) {
      Sleep(300);
      actual = EditText();
    } else {
      const DWORD start = GetTickCount();
      do {
        Sleep(150);
        actual = EditText();
      } while (actual != expected && GetTickCount() - start <= kE2eTimeoutMs);
    }
    if (actual == expected) {
      SelfTestLog(prefix + L"PASS");
      ++result.passes;
    } else {
      SelfTestLog(prefix + L"FAIL expected=\"" + expected + L"\" actual=\"" +
                  actual + L"\"");
      ++result.failures;
    }
  }
  SelfTestLog(L"  summary " + name + L": pass=" +
              std::to_wstring(result.passes) + L" fail=" +
              std::to_wstring(result.failures));
  return result;
}

DWORD WINAPI SelfTestWorker(LPVOID) {
  for (int index = 0; index < 3; ++index) {
    state.total_failures += RunScenario(index).failures;
  }
  if (!state.main_app_running) {
    SelfTestLog(L"-- S4-S7 e2e: SKIP (main app not running)");
  } else {
    if (state.russian) {
      state.total_failures += RunScenario(3).failures;
    } else {
      SelfTestLog(L"-- S4 e2e hotkey: SKIP (RU layout unavailable)");
    }
    state.total_failures += RunScenario(4).failures;
    state.total_failures += RunScenario(5).failures;
    if (state.english) {
      state.total_failures += RunScenario(6).failures;
    } else {
      SelfTestLog(L"-- S7: SKIP (EN layout unavailable)");
    }
  }
  PostMessageW(state.window, WM_CLOSE, 0, 0);
  return 0;
}

LRESULT CALLBACK SelfTestWindowProc(HWND window,
                                    UINT message,
                                    WPARAM wparam,
                                    LPARAM lparam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case kCapsLockQuery:
      return GetKeyState(VK_CAPITAL) & 1;
    case WM_ACTIVATE:
    case WM_SETFOCUS:
      if (state.edit) {
        SetFocus(state.edit);
      }
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

int Finish(int code) {
  if (state.log) {
    fclose(state.log);
    state.log = nullptr;
  }
  return code;
}

}  // namespace

std::wstring SelfTestLogPath() {
  wchar_t folder[260] = {};
  const DWORD length = GetTempPathW(260, folder);
  return std::wstring(folder, length < 260 ? length : 0) +
         L"korvex_selftest.log";
}

SelfTestConfiguration ParseSelfTestArguments(int argc, wchar_t** argv) {
  SelfTestConfiguration config;
  for (int i = 0; argv && i < argc; ++i) {
    int* target = nullptr;
    if (std::wcscmp(argv[i], L"--delay") == 0) {
      target = &config.delay_ms;
    } else if (std::wcscmp(argv[i], L"--settle") == 0) {
      target = &config.settle_ms;
    } else if (std::wcscmp(argv[i], L"--runs") == 0) {
      target = &config.runs;
    }
    if (target && i + 1 < argc) {
      *target = _wtoi(argv[++i]);
    }
  }
  if (config.runs < 1) config.runs = 1;
  if (config.delay_ms < 0) config.delay_ms = 0;
  if (config.settle_ms < 0) config.settle_ms = 0;
  return config;
}

int RunSelfTest() {
  state = SelfTestState();
  if (_wfopen_s(&state.log, SelfTestLogPath().c_str(), L"ab") != 0) {
    state.log = nullptr;
  }

  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  state.configuration = ParseSelfTestArguments(argv ? argc : 0, argv);
  if (argv) {
    LocalFree(argv);
  }
  const SelfTestConfiguration& config = state.configuration;

  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t header[160];
  swprintf(header, 160,
           L"=== selftest %04d-%02d-%02d %02d:%02d:%02d delay=%d settle=%d "
           L"runs=%d ===",
           now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
           now.wSecond, config.delay_ms, config.settle_ms, config.runs);
  SelfTestLog(header);

  if (HANDLE mutex = OpenMutexW(SYNCHRONIZE, FALSE,
                                L"Local\\korvex_single_instance")) {
    state.main_app_running = true;
    CloseHandle(mutex);
  }
  SelfTestLog(std::wstring(L"main app running (LL-hook in chain): ") +
              (state.main_app_running ? L"yes" : L"no"));

  state.russian = LoadLayoutIfInstalled(L"00000419", 0x0419);
  SelfTestLog(std::wstring(L"RU layout: ") +
              (state.russian ? L"available" : L"NOT available"));
  state.english = LoadLayoutIfInstalled(L"00000409", 0x0409);
  SelfTestLog(std::wstring(L"EN layout: ") +
              (state.english ? L"available" : L"NOT available"));

  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = SelfTestWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kWindowClass;
  RegisterClassW(&window_class);
  state.window = CreateWindowExW(0, kWindowClass, L"korvex selftest",
                                 WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                 CW_USEDEFAULT, 480, 120, nullptr, nullptr,
                                 instance, nullptr);
  if (!state.window) {
    SelfTestLog(L"FATAL: could not create test window");
    return Finish(255);
  }
  state.edit = CreateWindowExW(0, L"EDIT", L"",
                               WS_CHILD | WS_VISIBLE | WS_BORDER | ES_AUTOHSCROLL,
                               10, 10, 440, 30, state.window, nullptr, instance,
                               nullptr);
  ShowWindow(state.window, SW_SHOW);
  SetForegroundWindow(state.window);
  SetFocus(state.edit);

  HANDLE worker =
      CreateThread(nullptr, 0, SelfTestWorker, nullptr, 0, nullptr);
  if (!worker) {
    SelfTestLog(L"FATAL: could not start worker thread");
    return Finish(255);
  }

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  WaitForSingleObject(worker, 5000);
  CloseHandle(worker);

  SelfTestLog(L"=== done: total failures = " +
              std::to_wstring(state.total_failures) + L" ===");
  return Finish(state.total_failures);
}
