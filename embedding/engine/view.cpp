// The view: a child window the runner adopts as its content.

#include "engine_internal.h"

namespace {

constexpr wchar_t kViewWindowClass[] = L"FLUTTERVIEW";

LRESULT CALLBACK ViewWindowProc(HWND hwnd,
                                UINT message,
                                WPARAM wparam,
                                LPARAM lparam) {
  if (message == WM_PAINT) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    RECT client;
    GetClientRect(hwnd, &client);
    HBRUSH brush = CreateSolidBrush(RGB(0x20, 0x24, 0x2c));
    FillRect(dc, &client, brush);
    DeleteObject(brush);
    EndPaint(hwnd, &paint);
    return 0;
  }
  if (message == WM_ERASEBKGND) {
    return 1;
  }
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

HINSTANCE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     static_cast<LPCWSTR>(address), &module);
  return module;
}

HWND CreateViewWindow(int width, int height) {
  static bool registered = false;
  HINSTANCE instance = ModuleOf(reinterpret_cast<const void*>(&ViewWindowProc));
  if (!registered) {
    WNDCLASSEXW window_class = {};
    window_class.cbSize = sizeof(window_class);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = ViewWindowProc;
    window_class.hInstance = instance;
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.lpszClassName = kViewWindowClass;
    registered = RegisterClassExW(&window_class) != 0 ||
                 GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
  }
  // Born without a real parent: the runner adopts it with SetParent.
  return CreateWindowExW(0, kViewWindowClass, L"", WS_CHILD | WS_VISIBLE, 0, 0,
                         width, height, HWND_MESSAGE, nullptr, instance,
                         nullptr);
}

}  // namespace

FlutterDesktopViewControllerRef FlutterDesktopViewControllerCreate(
    int width,
    int height,
    FlutterDesktopEngineRef engine) {
  if (!engine) {
    return nullptr;
  }
  // The controller owns the engine from here on, also when this fails.
  if (!engine->running && !EngineRun(engine, nullptr)) {
    FlutterDesktopEngineDestroy(engine);
    return nullptr;
  }
  HWND hwnd = CreateViewWindow(width, height);
  if (!hwnd) {
    FlutterDesktopEngineDestroy(engine);
    return nullptr;
  }
  auto controller = std::make_unique<FlutterDesktopViewControllerState>();
  controller->engine = engine;
  controller->view = std::make_unique<FlutterDesktopView>();
  controller->view->hwnd = hwnd;
  controller->view->engine = engine;
  engine->view = controller->view.get();
  return controller.release();
}

void FlutterDesktopViewControllerDestroy(
    FlutterDesktopViewControllerRef controller) {
  if (!controller) {
    return;
  }
  FlutterDesktopEngineDestroy(controller->engine);
  if (controller->view && IsWindow(controller->view->hwnd)) {
    DestroyWindow(controller->view->hwnd);
  }
  delete controller;
}

FlutterDesktopEngineRef FlutterDesktopViewControllerGetEngine(
    FlutterDesktopViewControllerRef controller) {
  return controller ? controller->engine : nullptr;
}

FlutterDesktopViewRef FlutterDesktopViewControllerGetView(
    FlutterDesktopViewControllerRef controller) {
  return controller ? controller->view.get() : nullptr;
}

void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller) {
  if (controller && controller->view) {
    InvalidateRect(controller->view->hwnd, nullptr, FALSE);
  }
}

bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller,
    HWND hwnd,
    UINT message,
    WPARAM wparam,
    LPARAM lparam,
    LRESULT* result) {
  if (!controller || !controller->engine) {
    return false;
  }
  // A copy: a delegate may unregister itself while it runs.
  const auto delegates = controller->engine->window_proc_delegates;
  for (const auto& delegate : delegates) {
    LRESULT delegate_result = 0;
    if (delegate.first(hwnd, message, wparam, lparam, delegate.second,
                       &delegate_result)) {
      if (result) {
        *result = delegate_result;
      }
      return true;
    }
  }
  return false;
}

HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  return view ? view->hwnd : nullptr;
}
