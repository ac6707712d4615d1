#include "feedback/tray.h"

#include <shellapi.h>

#include <string>

#include "common/channel_arguments.h"
#include "common/service_state.h"
#include "common/text_conversion.h"

BOOL(WINAPI* notify_icon)(DWORD, PNOTIFYICONDATAW) = Shell_NotifyIconW;

namespace {

constexpr int kAppIconResource = 101;
constexpr DWORD kBalloonFlags = NIIF_USER | NIIF_LARGE_ICON | NIIF_RESPECT_QUIET_TIME;

// Copies |text| up to its first NUL into |field| of |capacity| units, cut to
// fit; a cut never keeps the first half of a surrogate pair.
void CopyBounded(const std::wstring& text, wchar_t* field, size_t capacity) {
  size_t length = 0;
  while (length < text.size() && text[length] != L'\0') {
    ++length;
  }
  if (length > capacity - 1) {
    length = capacity - 1;
    if (IS_HIGH_SURROGATE(text[length - 1])) {
      --length;
    }
  }
  text.copy(field, length);
  field[length] = L'\0';
}

}  // namespace

bool ShowTrayNotification(const std::wstring& title, const std::wstring& body) {
  if (!main_window) {
    return false;
  }
  NOTIFYICONDATAW data = {};
  data.cbSize = sizeof(data);
  data.hWnd = main_window;
  data.uID = kTrayIconId;
  data.uFlags = NIF_INFO;
  CopyBounded(title, data.szInfoTitle, ARRAYSIZE(data.szInfoTitle));
  CopyBounded(body, data.szInfo, ARRAYSIZE(data.szInfo));
  data.dwInfoFlags = kBalloonFlags;
  // Shared: never destroyed.
  data.hBalloonIcon = static_cast<HICON>(LoadImageW(
      GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kAppIconResource), IMAGE_ICON,
      GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
  return notify_icon(NIM_MODIFY, &data) != FALSE;
}

void OnTrayMessage(UINT message, LPARAM lparam) {
  // The low word holds the event in both callback layouts.
  if (message == kTrayCallbackMessage &&
      LOWORD(lparam) == NIN_BALLOONUSERCLICK && notifications_channel) {
    notifications_channel->InvokeMethod("clicked", nullptr);
  }
}

void HandleNotificationsCall(
    const flutter::MethodCall<flutter::EncodableValue>& call,
    std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
  if (call.method_name() != "show") {
    result->NotImplemented();
    return;
  }
  const std::wstring title = Utf16FromUtf8(GetStringArg(call.arguments(), "title"));
  const std::wstring body = Utf16FromUtf8(GetStringArg(call.arguments(), "body"));
  result->Success(flutter::EncodableValue(ShowTrayNotification(title, body)));
}
