// Another program for the window-context tests: arguments [--switchers
// FILE] CLASS... TITLE. It writes the layout switchers it sees to FILE, one
// UTF-8 name a line, creates a hidden window of each CLASS titled "TITLE
// CLASS", then shows a window titled TITLE with a focused edit control.

#include <windows.h>

#include <cstdio>
#include <string>

#include "context/foreground_window.h"

namespace {

LRESULT CALLBACK PeerProc(HWND window, UINT message, WPARAM wparam,
                          LPARAM lparam) {
  if (message == WM_SETFOCUS || message == WM_ACTIVATE) {
    SetFocus(GetWindow(window, GW_CHILD));
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

HWND CreateOfClass(const wchar_t* class_name, const std::wstring& title) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = PeerProc;
  window_class.hInstance = GetModuleHandleW(nullptr);
  window_class.lpszClassName = class_name;
  RegisterClassW(&window_class);
  return CreateWindowExW(0, class_name, title.c_str(), WS_OVERLAPPEDWINDOW, 600,
                         400, 400, 120, nullptr, nullptr,
                         window_class.hInstance, nullptr);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int first = 1;
  if (argc > 2 && std::wstring(argv[1]) == L"--switchers") {
    if (FILE* file = _wfopen(argv[2], L"wb")) {
      for (const auto& name : RunningLayoutSwitchers()) {
        std::fprintf(file, "%s\n", std::get<std::string>(name).c_str());
      }
      std::fclose(file);
    }
    first = 3;
  }
  const std::wstring title = argc > first ? argv[argc - 1] : L"korvex-peer";
  for (int i = first; i < argc - 1; ++i) {
    CreateOfClass(argv[i], title + L" " + argv[i]);
  }
  // Shown last: a visible window means the peer is ready.
  HWND window = CreateOfClass(L"KorvexContextPeer", title);
  CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_BORDER, 5, 5,
                  380, 30, window, nullptr, nullptr, nullptr);
  ShowWindow(window, SW_SHOW);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
