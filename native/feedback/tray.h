#ifndef KORVEX_NATIVE_FEEDBACK_TRAY_H_
#define KORVEX_NATIVE_FEEDBACK_TRAY_H_

#include <flutter/encodable_value.h>
#include <flutter/method_call.h>
#include <flutter/method_result.h>
#include <windows.h>

#include <memory>

// Sees every message of the runner window that the bridge did not take.
void OnTrayMessage(UINT message, LPARAM lparam);

// The handler of "korvex/notifications".
void HandleNotificationsCall(
    const flutter::MethodCall<flutter::EncodableValue>& call,
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);

#endif  // KORVEX_NATIVE_FEEDBACK_TRAY_H_
