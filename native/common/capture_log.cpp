#include "common/capture_log.h"

#include <flutter/encodable_value.h>
#include <share.h>

#include "common/service_state.h"

FILE* capture_log = nullptr;

void OpenCaptureLog(const std::wstring& folder) {
  // A NUL would end the path early, at a file other than the one named.
  if (capture_log || folder.empty() ||
      folder.find(L'\0') != std::wstring::npos) {
    return;
  }
  std::wstring path = folder;
  const wchar_t last = path.back();
  if (last != L'\\' && last != L'/') {
    path += L'\\';
  }
  path += L"korvex_capture.log";
  capture_log = _wfsopen(path.c_str(), L"ab", _SH_DENYWR);
}

void WriteTraceLine(const std::string& line) {
  if (!capture_log) {
    return;
  }
  fwrite(line.data(), 1, line.size(), capture_log);
  fwrite("\n", 1, 1, capture_log);
  fflush(capture_log);
}

void EmitDiag(const std::string& text) {
  WriteTraceLine("diag " + text);
  if (key_event_sink) {
    key_event_sink->Success(flutter::EncodableValue(flutter::EncodableMap{
        {flutter::EncodableValue("type"), flutter::EncodableValue("diag")},
        {flutter::EncodableValue("message"), flutter::EncodableValue(text)},
    }));
  }
}
