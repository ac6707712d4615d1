// Holds the Wine desktop open for a whole test run. The server closes a
// desktop one second after the last program on it exits; a test started at
// that moment finds no desktop and cannot make a window. A program with a
// window of its own stays a user of the desktop, so it is never closed.
// Argument: a file written once the window (and so the desktop) exists.
#include <windows.h>

#include <cstdio>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR ready_path, int) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = instance;
  window_class.lpszClassName = L"korvex_desktop_keeper";
  RegisterClassW(&window_class);
  // Never shown: it must not take the foreground from a test.
  if (!CreateWindowExW(0, window_class.lpszClassName, L"", WS_POPUP, 0, 0, 1,
                       1, nullptr, nullptr, instance, nullptr)) {
    return 1;
  }
  if (ready_path && *ready_path) {
    if (std::FILE* ready = std::fopen(ready_path, "w")) {
      std::fclose(ready);
    }
  }
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    DispatchMessageW(&message);
  }
  return 0;
}
