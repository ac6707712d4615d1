#ifndef KORVEX_NATIVE_KEYBOARD_KEYBOARD_HOOK_H_
#define KORVEX_NATIVE_KEYBOARD_KEYBOARD_HOOK_H_

#include <flutter/encodable_value.h>
#include <flutter/event_sink.h>
#include <windows.h>

#include <memory>

// The system-wide hooks: installed exactly while the application listens to
// the key events, on the main thread, which then runs them.
extern HHOOK keyboard_hook;
extern HHOOK mouse_hook;
extern HWINEVENTHOOK foreground_event_hook;

// How the hook sees one event.
struct KeyEventClass {
  bool injected;  // LLKHF_INJECTED
  bool own;       // the service's own input: passed on untouched
  bool replay;    // a replayed captured key
  bool handled;   // goes through the key path
};

// Markers are compared as whole pointer-sized values, so a value that only
// ends in a marker's bits is no marker.
KeyEventClass ClassifyKeyEvent(DWORD flags, ULONG_PTR extra_info,
                               bool accept_injected_input);

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK MouseHookProc(int code, WPARAM wparam, LPARAM lparam);
void CALLBACK ForegroundEventProc(HWINEVENTHOOK hook, DWORD event, HWND window,
                                  LONG object_id, LONG child_id,
                                  DWORD event_thread, DWORD event_time);

// The stream handlers of "korvex/key_events".
void OnKeyEventsListen(
    std::unique_ptr<flutter::EventSink<flutter::EncodableValue>> sink);
void OnKeyEventsCancel();

// Take the keyboard hook out while the main thread injects, and put it back
// with the key tables taken from the system.
void SuspendKeyboardHook();
void ReinstallKeyboardHook();

// Puts the keyboard and mouse hooks back, whether or not the system still
// had them, with the key tables taken from the system.
void PutBackHooks();

#endif  // KORVEX_NATIVE_KEYBOARD_KEYBOARD_HOOK_H_
