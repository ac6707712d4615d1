// A second program for the soak: a window with a multi-line edit control
// that takes whatever is typed, until it is closed or the program whose id
// it was given ends. The window's title is the second argument, if any.
// A hidden static control logs each Return the edit gets: "S" with Shift
// down, "-" without. An Alt+Tab that reaches the edit sets the event
// "korvex-alt-tab-TITLE": under Wine no switcher acts on it, so the typist
// moves the focus itself once the chord got here.

#include <windows.h>

#include <cwchar>
#include <string>

namespace {

HWND edit;
HWND return_log;
HANDLE alt_tab;
WNDPROC edit_procedure;

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wparam,
                          LPARAM lparam) {
  if (message == WM_KEYDOWN && wparam == VK_RETURN) {
    wchar_t log[4096] = {};
    const int length = GetWindowTextW(return_log, log, 4094);
    log[length] = GetKeyState(VK_SHIFT) < 0 ? L'S' : L'-';
    SetWindowTextW(return_log, log);
  }
  if (message == WM_SYSKEYDOWN && wparam == VK_TAB) {
    SetEvent(alt_tab);
  }
  return CallWindowProcW(edit_procedure, window, message, wparam, lparam);
}

LRESULT CALLBACK TargetProc(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam) {
  switch (message) {
    case WM_ACTIVATE:
      // Not when another window takes over: a focus set then may make this
      // one the foreground again.
      if (LOWORD(wparam) == WA_INACTIVE) {
        return 0;
      }
      [[fallthrough]];
    case WM_SETFOCUS:
      if (edit) {
        SetFocus(edit);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// Ends with the program that started it, crashed or not.
DWORD WINAPI FollowParent(LPVOID parent) {
  WaitForSingleObject(static_cast<HANDLE>(parent), INFINITE);
  ExitProcess(0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t* arguments, int) {
  if (HANDLE parent = OpenProcess(SYNCHRONIZE, FALSE, _wtoi(arguments))) {
    CreateThread(nullptr, 0, FollowParent, parent, 0, nullptr);
  }
  const wchar_t* space = std::wcschr(arguments, L' ');
  const wchar_t* title = space ? space + 1 : L"korvex-soak-target";
  alt_tab = CreateEventW(nullptr, FALSE, FALSE,
                         (std::wstring(L"korvex-alt-tab-") + title).c_str());
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = TargetProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"KorvexSoakTarget";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, L"KorvexSoakTarget", title,
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 300, 700,
                                300, nullptr, nullptr, instance, nullptr);
  edit = CreateWindowExW(0, L"EDIT", L"",
                         WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_WANTRETURN |
                             ES_AUTOVSCROLL | WS_VSCROLL,
                         5, 5, 680, 260, window, nullptr, instance, nullptr);
  SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  edit_procedure = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
      edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
  return_log = CreateWindowExW(0, L"STATIC", L"", WS_CHILD, 0, 0, 0, 0, window,
                               nullptr, instance, nullptr);
  SetFocus(edit);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
