#ifndef KORVEX_NATIVE_FEEDBACK_TRAY_H_
#define KORVEX_NATIVE_FEEDBACK_TRAY_H_

#include <flutter/encodable_value.h>
#include <flutter/method_call.h>
#include <flutter/method_result.h>
#include <windows.h>

#include <shellapi.h>

#include <memory>
#include <string>

// The notification-area icon that balloons rise from: the tray plug-in adds
// it with the runner window as owner.
constexpr UINT kTrayIconId = 1;
constexpr UINT kTrayCallbackMessage = WM_USER + 1;

// Shell_NotifyIconW; a test wraps it to see the balloon Wine never shows.
extern BOOL(WINAPI* notify_icon)(DWORD, PNOTIFYICONDATAW);

// True when the system took the balloon.
bool ShowTrayNotification(const std::wstring& title, const std::wstring& body);

// Sees every message of the runner window that the bridge did not take.
void OnTrayMessage(UINT message, LPARAM lparam);

// The handler of "korvex/notifications".
void HandleNotificationsCall(
    const flutter::MethodCall<flutter::EncodableValue>& call,
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);

#endif  // KORVEX_NATIVE_FEEDBACK_TRAY_H_
