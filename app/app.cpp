// The stand-in application: built as data\app.so, run by the engine on its
// own thread. It talks to the host only through channels.
//
// What it receives is made observable to tests through a log file named by
// KORVEX_APP_LOG (UTF-8, one record a line, appended). Two more variables
// shape a run for tests: KORVEX_APP_READY_DELAY_MS holds "fileOpenReady"
// back that long, and KORVEX_APP_LOG_DIRECTORY is passed to
// "setLogDirectory".

#include <flutter_app/app_messenger.h>
#include <windows.h>

#include <share.h>

#include <cstdio>
#include <string>

namespace {

std::wstring Environment(const wchar_t* name) {
  wchar_t value[MAX_PATH] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length)
                                         : std::wstring();
}

std::string Utf8(const std::wstring& text) {
  if (text.empty()) {
    return std::string();
  }
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(),
                                       static_cast<int>(text.size()), nullptr,
                                       0, nullptr, nullptr);
  std::string result(size > 0 ? size : 0, '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                        &result[0], size, nullptr, nullptr);
  }
  return result;
}

const char* KindName(flutter_app::Reply::Kind kind) {
  switch (kind) {
    case flutter_app::Reply::Kind::kSuccess:
      return "ok";
    case flutter_app::Reply::Kind::kError:
      return "error";
    case flutter_app::Reply::Kind::kNotImplemented:
      return "notImplemented";
    case flutter_app::Reply::Kind::kMalformed:
      return "malformed";
    case flutter_app::Reply::Kind::kTimedOut:
      break;
  }
  return "timedOut";
}

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
  bool autostart = false;
  for (int i = 0; i < argc; ++i) {
    const std::string argument = argv && argv[i] ? argv[i] : "";
    autostart = autostart || argument == "--autostart";
    log.Write("arg", argument);
  }
  flutter_app::AppMessenger app(messenger);
  using flutter::EncodableValue;

  // Started by the user, the window is shown; started with the system, it
  // stays hidden.
  if (!autostart) {
    app.CallMethod("window_manager", "show");
  }

  const std::wstring log_directory = Environment(L"KORVEX_APP_LOG_DIRECTORY");
  if (!log_directory.empty()) {
    flutter::EncodableMap arguments{
        {EncodableValue("path"), EncodableValue(Utf8(log_directory))}};
    log.Write("setLogDirectory",
              KindName(app.CallMethod("korvex/automation", "setLogDirectory",
                                      EncodableValue(arguments))
                           .kind));
  }

  app.SetMethodCallHandler(
      "korvex/file_open",
      [&log](const std::string& method, const EncodableValue& arguments) {
        const auto* path = std::get_if<std::string>(&arguments);
        if (method != "openFile" || !path) {
          return flutter_app::Answer::NotImplemented();
        }
        log.Write("openFile", *path);
        return flutter_app::Answer::Success();
      });
  const int ready_delay = _wtoi(Environment(L"KORVEX_APP_READY_DELAY_MS").c_str());
  if (ready_delay > 0) {
    app.RunUntil([] { return false; }, ready_delay);
  }
  // The documents waiting for it arrive before its answer.
  log.Write("call", "fileOpenReady");
  log.Write("fileOpenReady",
            KindName(app.CallMethod("korvex/file_open", "fileOpenReady").kind));

  while (app.RunPending(1000) >= 0) {
  }
  log.Write("stop", "");
  return 0;
}
