// The stand-in application: built as data\app.so, run by the engine on its
// own thread. It talks to the host only through channels.
//
// What it receives is made observable to tests through a log file named by
// KORVEX_APP_LOG (UTF-8, one record a line, appended).

#include <flutter_app/app_messenger.h>
#include <windows.h>

#include <share.h>

#include <cstdio>
#include <string>

namespace {

class RecordLog {
 public:
  RecordLog() {
    wchar_t path[MAX_PATH];
    const DWORD length =
        GetEnvironmentVariableW(L"KORVEX_APP_LOG", path, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
      file_ = _wfsopen(path, L"ab", _SH_DENYNO);
    }
  }
  ~RecordLog() {
    if (file_) {
      fclose(file_);
    }
  }
  RecordLog(const RecordLog&) = delete;
  RecordLog& operator=(const RecordLog&) = delete;

  // Control characters would break the one-record-a-line form.
  void Write(const std::string& kind, const std::string& text) {
    if (!file_) {
      return;
    }
    std::string line = kind;
    if (!text.empty()) {
      line += ' ';
      for (char c : text) {
        if (c == '\\') {
          line += "\\\\";
        } else if (c == '\n') {
          line += "\\n";
        } else if (c == '\r') {
          line += "\\r";
        } else {
          line += c;
        }
      }
    }
    line += '\n';
    fwrite(line.data(), 1, line.size(), file_);
    fflush(file_);
  }

 private:
  FILE* file_ = nullptr;
};

}  // namespace

extern "C" __declspec(dllexport) int FlutterDesktopAppMain(
    FlutterDesktopAppMessengerRef messenger,
    const char* entrypoint,
    int argc,
    const char** argv) {
  RecordLog log;
  log.Write("start", entrypoint ? entrypoint : "");
  log.Write("argc", std::to_string(argc));
  for (int i = 0; i < argc; ++i) {
    log.Write("arg", argv && argv[i] ? argv[i] : "");
  }
  flutter_app::AppMessenger app(messenger);
  while (app.RunPending(1000) >= 0) {
  }
  log.Write("stop", "");
  return 0;
}
