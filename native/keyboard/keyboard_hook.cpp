#include "keyboard/keyboard_hook.h"

#include <algorithm>
#include <string>

#include "common/capture_log.h"
#include "common/service_state.h"
#include "context/foreground_window.h"
#include "injection/injection_queue.h"
#include "injection/injection_target.h"
#include "injection/input_synthesis.h"
#include "keyboard/hook_watchdog.h"
#include "keyboard/key_hold.h"
#include "keyboard/key_path.h"
#include "keyboard/key_queue.h"
#include "keyboard/keyboard_state.h"

HHOOK keyboard_hook = nullptr;
HHOOK mouse_hook = nullptr;
HWINEVENTHOOK foreground_event_hook = nullptr;

namespace {

const char* Flag(bool value) {
  return value ? "1" : "0";
}

// A record that only says what happened: {"type": type}.
void SendTypeRecord(const char* type) {
  if (key_event_sink) {
    key_event_sink->Success(flutter::EncodableValue(flutter::EncodableMap{
        {flutter::EncodableValue("type"), flutter::EncodableValue(type)}}));
  }
}

HHOOK InstallKeyboardHook() {
  return SetWindowsHookExW(WH_KEYBOARD_LL, KeyboardHookProc,
                           GetModuleHandleW(nullptr), 0);
}

HHOOK InstallMouseHook() {
  return SetWindowsHookExW(WH_MOUSE_LL, MouseHookProc,
                           GetModuleHandleW(nullptr), 0);
}

void TraceHookEvent(WPARAM wparam, DWORD vk, const KeyEventClass& c) {
  WriteTraceLine("hook wparam=" + std::to_string(wparam) +
                 " vk=" + std::to_string(vk) + " inj=" + Flag(c.injected) +
                 " own=" + Flag(c.own) + " replay=" + Flag(c.replay) +
                 " handled=" + Flag(c.handled));
}

}  // namespace

KeyEventClass ClassifyKeyEvent(DWORD flags, ULONG_PTR extra_info,
                               bool accept_injected_input) {
  KeyEventClass c = {};
  c.injected = (flags & LLKHF_INJECTED) != 0;
  if (!c.injected) {
    c.handled = true;
  } else if (extra_info == kInjectionMarker) {
    c.own = true;
  } else if (extra_info == kReplayMarker) {
    c.replay = true;
    c.handled = true;
  } else {
    c.handled = accept_injected_input;
  }
  return c;
}

LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wparam, LPARAM lparam) {
  if (code != HC_ACTION || !key_event_sink || !lparam) {
    return CallNextHookEx(nullptr, code, wparam, lparam);
  }
  hook_event_time = GetTickCount();
  const auto& event = *reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
  const KeyEventClass c =
      ClassifyKeyEvent(event.flags, event.dwExtraInfo, accept_injected);
  const unsigned index = KeyIndex(event.vkCode);
  const bool was_physically_down = physical_key_down[index];
  const bool key_down = wparam == WM_KEYDOWN || wparam == WM_SYSKEYDOWN;
  const bool key_up = wparam == WM_KEYUP || wparam == WM_SYSKEYUP;
  if (!c.injected && (key_down || key_up)) {
    physical_key_down[index] = key_down;
  }
  TrackCapsLock(event.vkCode, key_down, key_up);
  if (capture_log) {
    TraceHookEvent(wparam, event.vkCode, c);
  }
  if (c.own) {
    NoteOwnKeyEvent(wparam, event.vkCode);
  } else if (c.handled && ProcessKeyEvent(wparam, event, c.replay,
                                          !c.injected, was_physically_down)) {
    return 1;
  }
  if (key_down || key_up) {
    TrackTargetKey(event.vkCode, key_down);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

LRESULT CALLBACK MouseHookProc(int code, WPARAM wparam, LPARAM lparam) {
  if (code == HC_ACTION && lparam) {
    // Movements too: they are input the system counts.
    hook_event_time = GetTickCount();
    const auto& event = *reinterpret_cast<const MSLLHOOKSTRUCT*>(lparam);
    if (key_event_sink && (event.flags & LLMHF_INJECTED) == 0 &&
        (wparam == WM_LBUTTONDOWN || wparam == WM_RBUTTONDOWN ||
         wparam == WM_MBUTTONDOWN)) {
      SendTypeRecord("click");
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

void CALLBACK ForegroundEventProc(HWINEVENTHOOK, DWORD event, HWND window,
                                  LONG, LONG, DWORD, DWORD) {
  if (event != EVENT_SYSTEM_FOREGROUND) {
    return;
  }
  RememberForegroundWindow(window);
  // Also for a shell surface that was not remembered: the application
  // still left the user's program.
  SendTypeRecord("appChanged");
}

void OnKeyEventsListen(
    std::unique_ptr<flutter::EventSink<flutter::EncodableValue>> sink) {
  key_event_sink = std::move(sink);
  caps_lock_stale = true;
  ResyncTargetKeyState();
  last_key_target = InjectionTarget();
  keyboard_hook = InstallKeyboardHook();
  mouse_hook = InstallMouseHook();
  foreground_event_hook = SetWinEventHook(
      EVENT_SYSTEM_FOREGROUND, EVENT_SYSTEM_FOREGROUND, nullptr,
      ForegroundEventProc, 0, 0,
      WINEVENT_OUTOFCONTEXT | WINEVENT_SKIPOWNPROCESS);
  StartHookWatchdog(PutBackHooks);
}

void OnKeyEventsCancel() {
  StopHookWatchdog();
  FlushInjectionQueue();
  SetHoldWordEnd(false);
  // A held key and the keys kept behind it go out, in the order typed.
  ReleaseAllKeptKeys();
  if (keyboard_hook) {
    UnhookWindowsHookEx(keyboard_hook);
    keyboard_hook = nullptr;
  }
  keyboard_hook_suspended = false;
  if (mouse_hook) {
    UnhookWindowsHookEx(mouse_hook);
    mouse_hook = nullptr;
  }
  if (foreground_event_hook) {
    UnhookWinEvent(foreground_event_hook);
    foreground_event_hook = nullptr;
  }
  ClearTrackedKeyState();
  key_event_sink.reset();
}

void SuspendKeyboardHook() {
  if (keyboard_hook) {
    UnhookWindowsHookEx(keyboard_hook);
    keyboard_hook = nullptr;
    keyboard_hook_suspended = true;
    caps_lock_stale = true;
  }
}

void ReinstallKeyboardHook() {
  if (!keyboard_hook_suspended) {
    return;
  }
  keyboard_hook = InstallKeyboardHook();
  keyboard_hook_suspended = false;
  ResyncKeyStateFromSystem();
  ResyncTargetKeyState();
  ResyncPhysicalKeyState();
  RebaselineHookWatchdog();
}

void PutBackHooks() {
  // Taken out first: a handle the system already let go of may have been
  // handed out again, and must not remove the new hook.
  if (keyboard_hook) {
    UnhookWindowsHookEx(keyboard_hook);
  }
  if (mouse_hook) {
    UnhookWindowsHookEx(mouse_hook);
  }
  keyboard_hook = InstallKeyboardHook();
  mouse_hook = InstallMouseHook();
  ResyncKeyStateFromSystem();
  ResyncTargetKeyState();
  ResyncPhysicalKeyState();
}
