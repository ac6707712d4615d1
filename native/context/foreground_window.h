#ifndef KORVEX_NATIVE_CONTEXT_FOREGROUND_WINDOW_H_
#define KORVEX_NATIVE_CONTEXT_FOREGROUND_WINDOW_H_

#include <flutter/encodable_value.h>
#include <windows.h>

#include <array>
#include <string>

// Where the user works: the foreground window, the last window of another
// program worth going back to, and other layout switchers running beside
// this one. Main thread only.

// Never cleared: a window destroyed since stays until overwritten.
extern HWND remembered_foreground_window;

// Shell surfaces (task bars, notification overflow, the shell's XAML hosts,
// the desktop): going there leaves the remembered window as it was.
constexpr std::array<const wchar_t*, 8> kSkippedWindowClasses = {
    L"Shell_TrayWnd",
    L"Shell_SecondaryTrayWnd",
    L"NotifyIconOverflowWindow",
    L"TopLevelWindowForOverflowXamlIsland",
    L"XamlExplorerHostIslandWindow",
    L"Windows.UI.Core.CoreWindow",
    L"Progman",
    L"WorkerW"};

// Lower-case fragments of other layout switchers' executable names.
constexpr std::array<const wchar_t*, 6> kLayoutSwitcherNames = {
    L"punto", L"caramba", L"keyswitcher", L"everylang", L"mahou",
    L"dotswitcher"};

// "className" and "exe" (lower-cased image file name) of the foreground
// window; "exe", or both, missing when they cannot be read.
flutter::EncodableMap GetForegroundWindowInfo();

// Keeps |window| unless it is null, the main window, a shell surface or a
// window of this process.
void RememberForegroundWindow(HWND window);

// The image names of running processes that look like layout switchers, as
// the snapshot spells them, one per process; never this process.
flutter::EncodableList RunningLayoutSwitchers();

// The window's class (at most 127 units) in UTF-8; empty for none.
std::string WindowClassUtf8(HWND window);

#endif  // KORVEX_NATIVE_CONTEXT_FOREGROUND_WINDOW_H_
