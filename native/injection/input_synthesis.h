#ifndef KORVEX_NATIVE_INJECTION_INPUT_SYNTHESIS_H_
#define KORVEX_NATIVE_INJECTION_INPUT_SYNTHESIS_H_

#include <windows.h>

#include <array>
#include <string>

// Marks every key event the service injects as its own: "KRVX".
constexpr ULONG_PTR kInjectionMarker = 0x4B525658;

// The modifier keys, in the order tested.
constexpr std::array<WORD, 11> kModifierKeys = {
    VK_LSHIFT, VK_RSHIFT,   VK_SHIFT,    VK_LMENU, VK_RMENU,  VK_MENU,
    VK_LWIN,   VK_RWIN,     VK_LCONTROL, VK_RCONTROL, VK_CONTROL};
// Those let go of before injecting. Alt and Win never are: a released Alt
// can commit a window switch the user is making, a lone Win opens Start.
constexpr std::array<WORD, 6> kReleasedModifierKeys = {
    VK_LSHIFT, VK_RSHIFT, VK_SHIFT, VK_LCONTROL, VK_RCONTROL, VK_CONTROL};

// One keyboard event; |extra| is kInjectionMarker for the service's own
// input, 0 for input that imitates a user.
INPUT KeyboardInput(WORD vk, WORD scan, DWORD flags, ULONG_PTR extra);

// A key stroke with its modifiers, sent in one SendInput call.
struct KeyBatch {
  INPUT events[8] = {};
  UINT count = 0;
  HKL layout = nullptr;
};

// Types |text| into the foreground window: as key strokes of the layout
// that types it best, else as Unicode events, or by a clipboard paste for a
// window that takes no Unicode. |delay_ms| below 1 means no pause.
// |caps_lock_on| is the toggle as a thread that reads keyboard input sees
// it: the typing thread itself reads none, so its own view is stale.
// These four are false when they stopped before all their input was sent
// (see KeepInjecting).
bool TypeText(const std::wstring& text, int delay_ms, bool caps_lock_on);
bool SendBackspaces(int count, int delay_ms);
bool SendCtrlChord(WORD vk, int delay_ms);
bool PasteTextViaClipboard(const std::wstring& text, int delay_ms);
bool TypeCharByVirtualKey(wchar_t ch, HKL layout, bool caps_lock_on);
void AppendKeyEvent(KeyBatch& batch, WORD vk, bool key_up);
void TapKey(WORD vk);

// While set, typing and backspaces stop before their next event: a task
// far longer than any real one (a hostile count or text) must not hold the
// service's shut-down for hours, nor the user's keys.
void AbandonInjection(bool abandon);
// False once the task is to stop: abandoned, or the target it is bound to
// (injection_target.h) is no longer in front.
bool KeepInjecting();

// Lets go of every Shift and Ctrl the system sees down; the left and right
// keys let go of are remembered so that they can be pressed again.
void ReleaseHeldModifiers();
bool AnyModifierHeld();
bool AltOrWinHeld();
// Presses again a Shift or Ctrl that injection let go of while the user
// still holds it; |physically_down| is indexed by virtual key. The keys
// pressed, as bits: 1 left Shift, 2 right Shift, 4 left Ctrl, 8 right Ctrl.
// The presses go through |send|, SendInput's signature.
unsigned RestoreReleasedModifiers(const bool (&physically_down)[256],
                                  UINT(WINAPI* send)(UINT, LPINPUT, int));
bool WasReleasedByInjection(WORD vk);

#endif  // KORVEX_NATIVE_INJECTION_INPUT_SYNTHESIS_H_
