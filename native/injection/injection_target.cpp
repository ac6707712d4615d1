#include "injection/injection_target.h"

#include "injection/layout_switch.h"

InjectionTarget last_key_target;

namespace {

thread_local const InjectionTarget* bound_target = nullptr;

}  // namespace

InjectionTarget TargetOf(HWND window, DWORD thread) {
  InjectionTarget target;
  target.window = window;
  target.focus = window ? FocusedControlOf(window, thread) : nullptr;
  return target;
}

InjectionTarget TargetInFront() {
  HWND window = GetForegroundWindow();
  return TargetOf(window,
                  window ? GetWindowThreadProcessId(window, nullptr) : 0);
}

void BindInjectionTarget(const InjectionTarget* target) {
  bound_target = target;
}

bool BoundTargetInFront() {
  return !bound_target || TargetInFront() == *bound_target;
}
