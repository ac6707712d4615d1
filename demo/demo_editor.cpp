// The editor of the demonstration: a window with a large edit control that
// writes its text (UTF-8) to the file named on its command line after every
// change, so that the demonstration can show what the user ended up with.

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

HWND edit;
std::wstring output;

void SaveText() {
  const int length = GetWindowTextLengthW(edit);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(edit, &text[0], length + 1);
  text.resize(static_cast<size_t>(length));
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr,
                                       0, nullptr, nullptr);
  std::string bytes(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), length, &bytes[0], size,
                        nullptr, nullptr);
  }
  if (FILE* file = _wfopen(output.c_str(), L"wb")) {
    fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
  }
}

LRESULT CALLBACK EditorProc(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam) {
  switch (message) {
    case WM_SETFOCUS:
    case WM_ACTIVATE:
      if (edit) {
        SetFocus(edit);
      }
      return 0;
    case WM_COMMAND:
      if (HIWORD(wparam) == EN_CHANGE && !output.empty()) {
        SaveText();
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, wchar_t* command_line, int) {
  output = command_line ? command_line : L"";
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = EditorProc;
  window_class.hInstance = instance;
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = L"KorvexDemoEditor";
  RegisterClassW(&window_class);
  HWND window = CreateWindowExW(0, L"KorvexDemoEditor", L"korvex-demo-editor",
                                WS_OVERLAPPEDWINDOW | WS_VISIBLE, 80, 120, 900,
                                260, nullptr, nullptr, instance, nullptr);
  edit = CreateWindowExW(0, L"EDIT", L"",
                         WS_CHILD | WS_VISIBLE | ES_MULTILINE | ES_AUTOVSCROLL,
                         10, 10, 860, 190, window, nullptr, instance, nullptr);
  HFONT font = CreateFontW(-30, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_SWISS, L"Tahoma");
  SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  SetFocus(edit);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
