#include "feedback/hud.h"

HWND hud_window = nullptr;
std::wstring hud_text;
BYTE hud_alpha = 0;

namespace {

constexpr wchar_t kHudClass[] = L"KorvexHud";
constexpr DWORD kHudExStyle = WS_EX_TOPMOST | WS_EX_TRANSPARENT |
                              WS_EX_TOOLWINDOW | WS_EX_LAYERED |
                              WS_EX_NOACTIVATE;
constexpr COLORREF kBackground = RGB(28, 28, 30);
constexpr BYTE kShownAlpha = 235;
constexpr BYTE kFadeStep = 24;
constexpr UINT_PTR kDisplayTimer = 1;
constexpr UINT_PTR kFadeTimer = 2;
constexpr UINT kDisplayMs = 2500;
constexpr UINT kFadeTickMs = 30;
constexpr int kPadX = 14;
constexpr int kPadY = 9;
constexpr int kMaxTextWidth = 420;
constexpr int kCornerRounding = 10;
constexpr int kCaretGap = 8;
constexpr int kWindowBottomGap = 60;
constexpr int kWorkAreaBottomGap = 120;
constexpr int kEdgeMargin = 8;

int Scale(int length, UINT dpi) {
  return MulDiv(length, static_cast<int>(dpi), 96);
}

bool CreateHudWindow() {
  HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = HudWndProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  window_class.lpszClassName = kHudClass;
  RegisterClassW(&window_class);
  hud_window = CreateWindowExW(kHudExStyle, kHudClass, L"", WS_POPUP, 0, 0, 10,
                               10, nullptr, nullptr, instance, nullptr);
  return hud_window != nullptr;
}

SIZE MeasureHud(const std::wstring& text, UINT dpi) {
  RECT rect = {0, 0, Scale(kMaxTextWidth, dpi), 0};
  HDC dc = GetDC(hud_window);
  HFONT font = CreateHudFont(dpi);
  HGDIOBJ old_font = SelectObject(dc, font);
  DrawTextW(dc, text.c_str(), -1, &rect,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
  SelectObject(dc, old_font);
  DeleteObject(font);
  ReleaseDC(hud_window, dc);
  return {rect.right - rect.left + 2 * Scale(kPadX, dpi),
          rect.bottom - rect.top + 2 * Scale(kPadY, dpi)};
}

// The top-left corner: under (or over) the caret, else near the bottom of
// the foreground window, else near the bottom of the work area.
POINT Anchor(HWND foreground, const RECT& work, SIZE size, UINT dpi) {
  const int half_width = size.cx / 2;
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (foreground &&
      GetGUIThreadInfo(GetWindowThreadProcessId(foreground, nullptr), &info) &&
      info.hwndCaret &&
      (info.rcCaret.right > info.rcCaret.left ||
       info.rcCaret.bottom > info.rcCaret.top)) {
    POINT top_left = {info.rcCaret.left, info.rcCaret.top};
    POINT bottom_right = {info.rcCaret.right, info.rcCaret.bottom};
    ClientToScreen(info.hwndCaret, &top_left);
    ClientToScreen(info.hwndCaret, &bottom_right);
    POINT at = {(top_left.x + bottom_right.x) / 2 - half_width,
                bottom_right.y + Scale(kCaretGap, dpi)};
    if (at.y + size.cy > work.bottom) {
      at.y = top_left.y - size.cy - Scale(kCaretGap, dpi);
    }
    return at;
  }
  RECT window = {};
  if (foreground && GetWindowRect(foreground, &window) &&
      window.right - window.left > 1) {
    return {(window.left + window.right) / 2 - half_width,
            window.bottom - size.cy - Scale(kWindowBottomGap, dpi)};
  }
  return {(work.left + work.right) / 2 - half_width,
          work.bottom - size.cy - Scale(kWorkAreaBottomGap, dpi)};
}

int Clamp(int value, int low, int high) {
  // Larger than the work area: the low edge wins.
  if (value > high) {
    value = high;
  }
  return value < low ? low : value;
}

}  // namespace

HFONT CreateHudFont(UINT dpi) {
  LOGFONTW font = {};
  font.lfHeight = -MulDiv(10, static_cast<int>(dpi), 72);
  font.lfWeight = 500;
  font.lfQuality = CLEARTYPE_QUALITY;
  wcsncpy_s(font.lfFaceName, 32, L"Segoe UI", _TRUNCATE);
  return CreateFontIndirectW(&font);
}

void ShowHud(const std::wstring& text) {
  if (text.empty()) {
    return;
  }
  if (!hud_window && !CreateHudWindow()) {
    return;
  }
  hud_text = text;

  HWND foreground = GetForegroundWindow();
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(foreground ? foreground : hud_window,
                                    MONITOR_DEFAULTTONEAREST),
                  &monitor);
  const RECT& work = monitor.rcWork;

  const UINT dpi = GetDpiForWindow(hud_window);
  const SIZE size = MeasureHud(text, dpi);
  POINT at = Anchor(foreground, work, size, dpi);
  at.x = Clamp(at.x, work.left + kEdgeMargin,
               work.right - size.cx - kEdgeMargin);
  at.y = Clamp(at.y, work.top + kEdgeMargin,
               work.bottom - size.cy - kEdgeMargin);

  // A HUD still shown or fading is taken over.
  KillTimer(hud_window, kDisplayTimer);
  KillTimer(hud_window, kFadeTimer);
  const int rounding = Scale(kCornerRounding, dpi);
  SetWindowRgn(hud_window,
               CreateRoundRectRgn(0, 0, size.cx + 1, size.cy + 1, rounding,
                                  rounding),
               FALSE);
  hud_alpha = kShownAlpha;
  SetLayeredWindowAttributes(hud_window, 0, hud_alpha, LWA_ALPHA);
  SetWindowPos(hud_window, HWND_TOPMOST, at.x, at.y, size.cx, size.cy,
               SWP_NOACTIVATE | SWP_SHOWWINDOW);
  InvalidateRect(hud_window, nullptr, TRUE);
  SetTimer(hud_window, kDisplayTimer, kDisplayMs, nullptr);
}

LRESULT CALLBACK HudWndProc(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT rect;
      GetClientRect(window, &rect);
      HBRUSH brush = CreateSolidBrush(kBackground);
      FillRect(dc, &rect, brush);
      DeleteObject(brush);
      const UINT dpi = GetDpiForWindow(window);
      HFONT font = CreateHudFont(dpi);
      HGDIOBJ old_font = SelectObject(dc, font);
      SetTextColor(dc, RGB(255, 255, 255));
      SetBkMode(dc, TRANSPARENT);
      InflateRect(&rect, -Scale(kPadX, dpi), -Scale(kPadY, dpi));
      DrawTextW(dc, hud_text.c_str(), -1, &rect,
                DT_CENTER | DT_WORDBREAK | DT_NOPREFIX);
      SelectObject(dc, old_font);
      DeleteObject(font);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_TIMER:
      if (wparam == kDisplayTimer) {
        KillTimer(window, kDisplayTimer);
        SetTimer(window, kFadeTimer, kFadeTickMs, nullptr);
        return 0;
      }
      if (wparam == kFadeTimer) {
        if (hud_alpha > kFadeStep) {
          hud_alpha = static_cast<BYTE>(hud_alpha - kFadeStep);
          SetLayeredWindowAttributes(window, 0, hud_alpha, LWA_ALPHA);
        } else {
          KillTimer(window, kFadeTimer);
          hud_alpha = 0;
          ShowWindow(window, SW_HIDE);
        }
        return 0;
      }
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}
