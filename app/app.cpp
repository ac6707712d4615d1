// The application: built as data\app.so, run by the engine on its own
// thread. It talks to the host only through channels; its decisions are
// the portable RepairEngine's, this file is the channel glue.
//
// What it receives is made observable to tests through a log file named by
// KORVEX_APP_LOG (UTF-8, one record a line, appended). Two more variables
// shape a run for tests: KORVEX_APP_READY_DELAY_MS holds "fileOpenReady"
// back that long, and KORVEX_APP_LOG_DIRECTORY is passed to
// "setLogDirectory". What it did (conversions, repairs) goes to the same
// log. Settings come from "%APPDATA%\Korvex\settings.ini" (autoRepair,
// keySounds), the language models from flutter_assets beside it. The
// notification-area icon and its menu, where the user switches settings and
// quits, are tray_menu.cpp's.

#include <flutter_app/app_messenger.h>
#include <windows.h>

#include <share.h>

#include <chrono>
#include <cstdio>
#include <deque>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/language_model.h"
#include "core/layout_guess.h"
#include "core/repair_engine.h"
#include "core/settings.h"
#include "tray_menu.h"
#include "user_files.h"

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

const char kAutomation[] = "korvex/automation";

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::vector<uint8_t> ReadBytes(const std::wstring& path) {
  std::vector<uint8_t> bytes;
  FILE* file = _wfsopen(path.c_str(), L"rb", _SH_DENYNO);
  if (!file) {
    return bytes;
  }
  uint8_t buffer[65536];
  size_t read = 0;
  while ((read = fread(buffer, 1, sizeof buffer, file)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + read);
  }
  fclose(file);
  return bytes;
}

// The folder of this module: the models are installed beside it.
std::wstring ModuleFolder() {
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                         GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCWSTR>(&ModuleFolder), &module);
  wchar_t path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring folder(path, length < MAX_PATH ? length : 0);
  const size_t slash = folder.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : folder.substr(0, slash + 1);
}

// A short click, for layouts that get no sample of their own.
std::vector<uint8_t> ClickWav() {
  const uint32_t rate = 22050, frames = rate / 50;
  std::vector<uint8_t> wav;
  wav.reserve(44 + frames * 2);
  auto put = [&wav](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) wav.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  auto tag = [&wav](const char* text) {
    for (int i = 0; i < 4; ++i) wav.push_back(static_cast<uint8_t>(text[i]));
  };
  tag("RIFF");
  put(36 + frames * 2, 4);
  tag("WAVE");
  tag("fmt ");
  put(16, 4); put(1, 2); put(1, 2); put(rate, 4); put(rate * 2, 4); put(2, 2); put(16, 2);
  tag("data");
  put(frames * 2, 4);
  for (uint32_t i = 0; i < frames; ++i) {
    const int amplitude = static_cast<int>(9000 * (frames - i) / frames);
    put(static_cast<uint16_t>((i / 6) % 2 ? amplitude : -amplitude), 2);
  }
  return wav;
}

// The host's methods through "korvex/automation"; an error, a time-out or
// not-implemented is no answer.
class ChannelHost : public korvex_app::HostPort {
 public:
  using Records = std::deque<std::pair<flutter::EncodableValue, int64_t>>;

  ChannelHost(flutter_app::AppMessenger& app, RecordLog& log,
              const Records& records)
      : app_(app), log_(log), records_(records) {}

  bool Backspace(int count) override {
    return Done(Call("backspace", {{"count", flutter::EncodableValue(count)}}));
  }
  bool TypeText(const std::string& text) override {
    return Done(Call("typeText", {{"text", flutter::EncodableValue(text)}}));
  }
  void ReleaseHeldKey(int32_t id) override {
    Call("releaseHeldKey", {{"id", flutter::EncodableValue(id)}});
  }
  bool ExtendHold(int32_t id) override {
    return Done(Call("extendHold", {{"id", flutter::EncodableValue(id)}}));
  }
  void ShowHud(const std::string& text) override {
    // Nothing waits for the bubble.
    flutter::EncodableMap arguments{
        {flutter::EncodableValue("text"), flutter::EncodableValue(text)}};
    app_.InvokeMethod(kAutomation, "showHud", flutter::EncodableValue(arguments),
                      nullptr);
  }
  std::optional<bool> IsPasswordFieldFocused() override {
    const flutter_app::Reply reply = Call("isPasswordFieldFocused", {});
    const bool* value = std::get_if<bool>(&reply.value);
    return Answered(reply) && value ? std::optional<bool>(*value) : std::nullopt;
  }
  std::optional<std::string> UiaSelectedText() override {
    return Text(Call("uiaSelectedText", {}));
  }
  void SaveClipboard() override { Call("saveClipboard", {}); }
  void RestoreClipboard() override { Call("restoreClipboard", {}); }
  void Copy() override { Call("copy", {}); }
  std::optional<int64_t> ClipboardChangeCount() override {
    const flutter_app::Reply reply = Call("clipboardChangeCount", {});
    const int32_t* value = std::get_if<int32_t>(&reply.value);
    return Answered(reply) && value ? std::optional<int64_t>(*value) : std::nullopt;
  }
  std::optional<std::string> ReadClipboardText() override {
    return Text(Call("readClipboardText", {}));
  }
  std::vector<korvex_app::KeyLayout> SystemLayouts() override {
    const flutter_app::Reply reply = Call("systemLayouts", {});
    return Answered(reply) ? korvex_app::ParseSystemLayouts(reply.value)
                           : std::vector<korvex_app::KeyLayout>();
  }
  void SetTypingCapture(bool enabled) override {
    Call("setTypingCapture", {{"enabled", flutter::EncodableValue(enabled)}});
  }
  std::optional<std::u32string> PendingTyping() override {
    std::u32string typed;
    for (const auto& record : records_) {
      const auto text = korvex_app::PendingText(record.first);
      if (!text) {
        return std::nullopt;
      }
      typed += *text;
    }
    return typed;
  }
  void Wait(int ms) override { app_.RunUntil([] { return false; }, ms); }
  int64_t NowMs() override { return SteadyMs(); }
  void Note(const std::string& kind, const std::string& text) override {
    log_.Write(kind, text);
  }
  void SaveExceptions(const std::string& text) override {
    exceptions_text_ = text;
    log_.Write("exceptions", exceptions_save_.Save() ? "saved" : "unsaved");
  }
  void SaveWaitingExceptions() {
    if (exceptions_save_.Retry()) {
      log_.Write("exceptions", "saved");
    }
  }

  flutter_app::Reply Call(
      const char* method,
      std::initializer_list<std::pair<const char*, flutter::EncodableValue>> args) {
    flutter::EncodableMap map;
    for (const auto& [key, value] : args) {
      map.emplace(flutter::EncodableValue(key), value);
    }
    return app_.CallMethod(kAutomation, method, flutter::EncodableValue(map));
  }

 private:
  static bool Answered(const flutter_app::Reply& reply) {
    return reply.kind == flutter_app::Reply::Kind::kSuccess;
  }
  // Success without a value is a host that does not say: done.
  static bool Done(const flutter_app::Reply& reply) {
    const bool* value = std::get_if<bool>(&reply.value);
    return Answered(reply) && (!value || *value);
  }
  static std::optional<std::string> Text(const flutter_app::Reply& reply) {
    const std::string* text = std::get_if<std::string>(&reply.value);
    return Answered(reply) && text ? std::optional<std::string>(*text)
                                   : std::nullopt;
  }

  flutter_app::AppMessenger& app_;
  RecordLog& log_;
  const Records& records_;
  std::string exceptions_text_;
  RetriedSave exceptions_save_{[this] { return WriteExceptionsFile(exceptions_text_); }};
};

std::optional<korvex_app::LanguageModel> LoadModel(const wchar_t* name) {
  return korvex_app::LanguageModel::Load(
      ReadBytes(ModuleFolder() + L"flutter_assets\\" + name));
}

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
  // The application's own state is set up before it says it is ready.
  const korvex_app::Settings settings = LoadSettings();
  const auto english = LoadModel(L"korvex_en.kvlm");
  const auto russian = LoadModel(L"korvex_ru.kvlm");
  std::optional<korvex_app::LayoutGuesser> guesser;
  if (english && russian) {
    guesser.emplace(&*english, &*russian);
  }
  ChannelHost::Records records;
  ChannelHost host(app, log, records);
  korvex_app::RepairEngine engine(host, guesser ? &*guesser : nullptr);
  engine.set_exceptions(korvex_app::RepairExceptions::Parse(ReadExceptionsFile()));
  app.Listen("korvex/key_events", EncodableValue(),
             [&records](const flutter_app::Event& event) {
               if (event.kind == flutter_app::Event::Kind::kData) {
                 records.emplace_back(event.value, SteadyMs());
               }
             });
  // The program in front must not act on the hot keys as well.
  flutter::EncodableList hot_keys;
  for (int32_t letter : {'T', 'U'}) {
    hot_keys.push_back(EncodableValue(flutter::EncodableMap{
        {EncodableValue("keycode"), EncodableValue(letter)},
        {EncodableValue("control"), EncodableValue(true)},
        {EncodableValue("shift"), EncodableValue(true)}}));
  }
  host.Call("setHotKeys", {{"keys", EncodableValue(hot_keys)}});
  // Without its models nothing can be repaired, whatever the setting says.
  auto set_auto_repair = [&](bool enabled) {
    enabled = enabled && guesser;
    engine.set_auto_repair(enabled);
    host.Call("setHoldWordEnd", {{"enabled", EncodableValue(enabled)}});
  };
  auto set_key_sounds = [&](bool enabled) {
    flutter::EncodableMap samples;
    if (enabled) {
      for (const char* layout : {"04090409", "04190419"}) {
        samples.emplace(EncodableValue(layout), EncodableValue(ClickWav()));
      }
    }
    host.Call("setKeySounds", {{"enabled", EncodableValue(enabled)},
                               {"samples", EncodableValue(samples)}});
  };
  set_auto_repair(settings.auto_repair);
  set_key_sounds(settings.key_sounds);
  app.SetMethodCallHandler(
      "korvex/notifications",
      [&log](const std::string& method, const EncodableValue&) {
        if (method != "clicked") {
          return flutter_app::Answer::NotImplemented();
        }
        log.Write("clicked", "");
        return flutter_app::Answer::Success();
      });
  // The icon instead of an empty window; the balloon only for a start by
  // the user, not by the system at every log-on.
  TrayMenu tray(app, Utf8(ModuleFolder() + L"flutter_assets\\"), settings,
                {set_auto_repair, set_key_sounds,
                 [&log](const std::string& kind, const std::string& text) {
                   log.Write(kind, text);
                 }});
  tray.Show(!autostart);
  const int ready_delay = _wtoi(Environment(L"KORVEX_APP_READY_DELAY_MS").c_str());
  if (ready_delay > 0) {
    app.RunUntil([] { return false; }, ready_delay);
  }
  // The documents waiting for it arrive before its answer.
  log.Write("call", "fileOpenReady");
  log.Write("fileOpenReady",
            KindName(app.CallMethod("korvex/file_open", "fileOpenReady").kind));

  // Records only queue up as they arrive: a record is dealt with when the
  // one before it is done, even while that one waits on the host.
  while (app.RunPending(100) >= 0) {
    while (!records.empty()) {
      auto [record, received] = std::move(records.front());
      records.pop_front();
      engine.OnRecord(record, received);
    }
    host.SaveWaitingExceptions();
    tray.Act();
  }
  log.Write("stop", "");
  return 0;
}
