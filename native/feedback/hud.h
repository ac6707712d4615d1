#ifndef KORVEX_NATIVE_FEEDBACK_HUD_H_
#define KORVEX_NATIVE_FEEDBACK_HUD_H_

#include <windows.h>

#include <string>

// A short-lived text bubble near the caret of the foreground application.
// It never activates and lets the mouse through. Main thread only.

extern HWND hud_window;
extern std::wstring hud_text;
extern BYTE hud_alpha;

// Shows or re-shows the HUD with |text|; an empty text does nothing.
void ShowHud(const std::wstring& text);
LRESULT CALLBACK HudWndProc(HWND window, UINT message, WPARAM wparam,
                            LPARAM lparam);
// The caller deletes it.
HFONT CreateHudFont(UINT dpi);

#endif  // KORVEX_NATIVE_FEEDBACK_HUD_H_
