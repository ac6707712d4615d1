// Tray balloons are not served yet: the channel exists and answers
// not-implemented, and no tray message is taken.

#include "feedback/tray.h"

void OnTrayMessage(UINT, LPARAM) {}

void HandleNotificationsCall(
    const flutter::MethodCall<flutter::EncodableValue>&,
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
  result->NotImplemented();
}
