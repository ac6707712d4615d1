#ifndef KORVEX_NATIVE_INJECTION_INJECTION_TARGET_H_
#define KORVEX_NATIVE_INJECTION_INJECTION_TARGET_H_

#include <windows.h>

// Where injected input lands: the foreground window and its focused
// control. A replacement is typed only while the window and the control it
// was asked for are still in front; a user who went elsewhere meanwhile
// must not get the rest of it.

struct InjectionTarget {
  HWND window = nullptr;
  HWND focus = nullptr;
  bool operator==(const InjectionTarget& other) const {
    return window == other.window && focus == other.focus;
  }
};

InjectionTarget TargetInFront();
// The same, |window| and |thread| already known.
InjectionTarget TargetOf(HWND window, DWORD thread);

// Where the last key the application heard of was typed (main thread);
// empty before the first.
extern InjectionTarget last_key_target;

// For the thread that injects: the target its input is bound to (null:
// any). While one is bound, KeepInjecting is false once it left the front.
void BindInjectionTarget(const InjectionTarget* target);
bool BoundTargetInFront();

#endif  // KORVEX_NATIVE_INJECTION_INJECTION_TARGET_H_
