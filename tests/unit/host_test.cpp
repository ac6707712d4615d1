// The host shell in this process: the runner window with the engine, the
// native services and their channels (Wine's real clipboard among them),
// driven by a test that acts as the application from its own thread.

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <tuple>

#include "../codec/value_printer.h"
#include "app_driver.h"
#include "bridge/native_services.h"
#include "common/capture_log.h"
#include "common/channel_arguments.h"
#include "common/text_conversion.h"
#include "keyboard_harness.h"
#include "injection/clipboard.h"
#include "test_support.h"
#include "utils.h"

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter_app::AppMessenger;
using flutter_app::Reply;
using test_support::Args;

namespace {

// The runner with its services in this process, as process entry makes it;
// the test acts as the application from a thread of its own.
class HostTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(h_.ready()); }
  void TearDown() override {
    // The process-wide state outlives a window; start each test afresh.
    file_open_ready = false;
    pending_file_opens.clear();
    if (capture_log) fclose(capture_log);
    capture_log = nullptr;
    trace_enabled = false;
  }

  test_support::KeyboardHarness h_;
};

TEST(ArgumentGetterTest, TypedGettersTakeDefaultsForAnythingUnexpected) {
  const EncodableValue args = Args({
      {"flag", EncodableValue(true)},
      {"small", EncodableValue(int32_t{-7})},
      {"wide", EncodableValue(int64_t{(int64_t{1} << 32) + 2})},
      {"wideHigh", EncodableValue(int64_t{0x180000000})},
      {"real", EncodableValue(2.0)},
      {"text", EncodableValue("привет")},
      {"list", EncodableValue(EncodableList{EncodableValue(1)})},
  });
  EXPECT_TRUE(GetBoolArg(&args, "flag", false) && GetBoolArg(&args, "missing", true));
  EXPECT_FALSE(GetBoolArg(&args, "small", false));
  // 64-bit numbers keep their low 32 bits; other kinds take the default.
  const std::pair<const char*, int32_t> ints[] = {
      {"small", -7}, {"wide", 2}, {"wideHigh", INT32_MIN}, {"real", 5},
      {"text", 5},   {"flag", 5}, {"missing", 5}};
  for (const auto& [key, expected] : ints) EXPECT_EQ(GetIntArg(&args, key, 5), expected) << key;
  EXPECT_EQ(GetStringArg(&args, "text"), "привет");
  EXPECT_EQ(GetStringArg(&args, "small") + GetStringArg(&args, "list"), "");
  // Arguments that are not a map are no arguments at all.
  const EncodableValue list(EncodableList{EncodableValue("flag")}), null_value;
  for (const EncodableValue* not_a_map : {&list, &null_value, (const EncodableValue*)nullptr}) {
    EXPECT_EQ(GetIntArg(not_a_map, "small", 3), 3);
  }
}

TEST(ProcessEntryTest, EnvironmentSwitchesAndCommandLineFollowTheirRules) {
  const std::pair<const wchar_t*, uint32_t> delays[] = {
      {L"200", 200}, {L"201", 3}, {L"-5", 3}, {L"4294967295", 3}, {L"abc", 0},
      {L"12ab", 12}, {L"0", 0},   {nullptr, 3},
      {L"7777777777777777777777", 3},  // longer than the value buffer
  };
  for (const auto& [value, expected] : delays) {
    key_delay_ms = 3;
    SetEnvironmentVariableW(L"KORVEX_KEY_DELAY_MS", value);
    ReadEnvironmentSwitches();
    EXPECT_EQ(key_delay_ms, expected) << (value ? std::to_string(wcslen(value)) : "unset");
  }
  SetEnvironmentVariableW(L"KORVEX_KEY_DELAY_MS", nullptr);
  const std::pair<const wchar_t*, bool> switches[] = {
      {L"1", true}, {L"10", true}, {L"true", false}, {L"0", false}, {L"", false}, {nullptr, false}};
  for (const auto& [value, expected] : switches) {
    SetEnvironmentVariableW(L"KORVEX_TRACE", value);
    SetEnvironmentVariableW(L"KORVEX_ACCEPT_INJECTED", value);
    ReadEnvironmentSwitches();
    EXPECT_EQ(trace_enabled, expected);
    EXPECT_EQ(accept_injected, expected);
  }
  trace_enabled = accept_injected = false;

  // The command line: converted strictly (an unpaired surrogate refuses the
  // whole argument), documents known by their suffix.
  const wchar_t astral[] = {0xD83D, 0xDE00, 0}, unpaired[] = {L'a', 0xD800, L'b', 0};
  EXPECT_EQ(Utf8FromCommandLineArgument(nullptr), "");
  EXPECT_EQ(Utf8FromCommandLineArgument(L"C:\\отчёт.kvd"), "C:\\отчёт.kvd");
  EXPECT_EQ(Utf8FromCommandLineArgument(astral), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8FromCommandLineArgument(unpaired), "");
  const std::pair<const wchar_t*, bool> documents[] = {
      {L"report.kvd", true},      {L"C:\\A.B\\REPORT.KVD", true}, {L".kvd", true},
      {L"report.kvd.txt", false}, {L"kvd", false}, {L"report.kvdx", false}, {nullptr, false}};
  for (const auto& [argument, expected] : documents) {
    EXPECT_EQ(IsDocumentArgument(argument), expected) << (argument ? argument : L"null");
  }
}

TEST_F(HostTest, RunnerWindowHostsTheViewAndChannelsAnswerByExactName) {
  EXPECT_EQ(Win32Window::Scale(10, 120 / 96.0), 12);  // 12.5 truncates
  HWND window = h_.runner();
  EXPECT_FALSE(IsWindowVisible(window));
  HWND view = GetWindow(window, GW_CHILD);
  ASSERT_NE(view, nullptr);
  RECT client, view_rect;
  GetClientRect(window, &client);
  GetClientRect(view, &view_rect);
  EXPECT_EQ(std::tie(view_rect.right, view_rect.bottom), std::tie(client.right, client.bottom));

  const Reply::Kind unknown = Reply::Kind::kNotImplemented;
  const std::tuple<const char*, const char*, EncodableValue, Reply::Kind> calls[] = {
      {"korvex/automation", "setlogdirectory", Args({{"path", EncodableValue("C:\\")}}), unknown},
      // Arguments of the wrong kind are no arguments: a null answer.
      {"korvex/automation", "setLogDirectory", EncodableValue(EncodableList{}),
       Reply::Kind::kSuccess},
      {"korvex/file_open", "openFile", EncodableValue(), unknown},
      {"korvex/notifications", "Show", EncodableValue(), unknown}};
  ASSERT_TRUE(h_.RunApp([&](AppMessenger& app) {
    for (const auto& [channel, method, args, kind] : calls) {
      const Reply reply = app.CallMethod(channel, method, args);
      EXPECT_EQ(reply.kind, kind) << method;
      EXPECT_TRUE(reply.value.IsNull()) << method;
    }
    // The clipboard's methods; what a call answers, as each succeeds.
    auto call = [&](const char* method, const EncodableValue& args = {}) {
      Reply reply = app.CallMethod("korvex/automation", method, args);
      EXPECT_EQ(reply.kind, Reply::Kind::kSuccess) << method;
      return reply.value;
    };
    auto write = [&](const char* text) {
      return call("writeClipboardText", Args({{"text", EncodableValue(text)}}));
    };
    auto read = [&] { return call("readClipboardText"); };
    EXPECT_EQ(write("привет 😀"), EncodableValue(true));
    EXPECT_EQ(ReadClipboardText(), std::wstring(L"привет \xD83D\xDE00"));
    EXPECT_EQ(read(), EncodableValue("привет 😀"));
    EXPECT_EQ(call("clipboardChangeCount"),
              EncodableValue(static_cast<int32_t>(GetClipboardSequenceNumber())));
    // With no text at all on the clipboard there is none to read.
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    CloseClipboard();
    EXPECT_TRUE(read().IsNull());
    // Without its argument the empty text is written.
    EXPECT_EQ(call("writeClipboardText"), EncodableValue(true));
    EXPECT_EQ(read(), EncodableValue(""));
    write("сохранено");
    EXPECT_TRUE(call("saveClipboard").IsNull());
    write("typed over");
    EXPECT_TRUE(call("restoreClipboard").IsNull());
    EXPECT_EQ(read(), EncodableValue("сохранено"));

    // The registered window manager plug-in shows this window.
    EXPECT_EQ(app.CallMethod("window_manager", "isVisible").value, EncodableValue(false));
    EXPECT_EQ(app.CallMethod("window_manager", "show").kind, Reply::Kind::kSuccess);
    // Streams left open: closing the window still ends them.
    for (const char* stream : {"korvex/key_events", "korvex/taskbar_theme"}) {
      EXPECT_EQ(app.Listen(stream, {}, [](const flutter_app::Event&) {}).kind,
                Reply::Kind::kSuccess);
    }
  }));
  EXPECT_TRUE(IsWindowVisible(window));
  // Nothing of the services may outlive the messenger, which goes with the
  // window.
  h_.CloseRunner();
  EXPECT_TRUE(!key_event_sink && !taskbar_theme_sink && !key_events_channel &&
              !taskbar_theme_channel && !automation_channel && !file_open_channel &&
              !notifications_channel);
}

TEST_F(HostTest, CaptureLogOpensOnceOnlyWithTracingAndAppends) {
  const std::wstring base = test_support::TempFolder() + L"korvex-log-test";
  const std::wstring first = base + L"-a", second = base + L"-b", slashed = base + L"-c";
  for (const auto& folder : {first, second, slashed}) {
    CreateDirectoryW(folder.c_str(), nullptr);
    DeleteFileW((folder + L"\\korvex_capture.log").c_str());
  }
  DeleteFileW((slashed + L"\\cut.log").c_str());
  // Asks for the log in |path| (as in a new run, so that it may be opened
  // again); then a diagnostic of the host's goes to the log, if open (the
  // keyboard tests hear it on the key events).
  const std::string diag = "diag restoreForeground: no remembered window";
  auto set_directory = [&](const std::string& path, bool new_run = true) {
    if (capture_log && new_run) fclose(capture_log);
    if (new_run) capture_log = nullptr;
    ASSERT_TRUE(h_.RunApp([&](AppMessenger& app) {
      app.CallMethod("korvex/automation", "setLogDirectory",
                     Args({{"path", EncodableValue(path)}}));
      app.CallMethod("korvex/automation", "restoreForegroundWindow");
    }));
  };
  auto log_of = [](const std::wstring& folder) {
    return test_support::ReadFileBytes(folder + L"\\korvex_capture.log");
  };

  // Tracing off: nothing is opened.
  set_directory(Utf8FromUtf16(first));
  EXPECT_FALSE(std::filesystem::exists(first + L"\\korvex_capture.log"));
  // An earlier run's lines stay; this run's follow them.
  std::ofstream(std::filesystem::path(first + L"\\korvex_capture.log"), std::ios::binary)
      << "earlier run\n";
  trace_enabled = true;
  set_directory(Utf8FromUtf16(first));  // no trailing separator
  WriteTraceLine("first \"line\"\nwith a feed");
  set_directory(Utf8FromUtf16(second), false);  // already open: changes nothing
  WriteTraceLine("after");
  EXPECT_EQ(log_of(first),
            "earlier run\n" + diag + "\nfirst \"line\"\nwith a feed\n" + diag + "\nafter\n");
  EXPECT_EQ(log_of(second), "");
  // An empty path opens nothing; a later ask still may.
  set_directory("");
  set_directory(Utf8FromUtf16(slashed) + "/", false);
  WriteTraceLine("x");
  EXPECT_EQ(log_of(slashed), diag + "\nx\n");
  // A NUL inside the path would cut it short of the name that was asked
  // for: nothing is opened.
  set_directory(Utf8FromUtf16(slashed) + "\\cut.log" + std::string(1, '\0') + "x");
  EXPECT_EQ(capture_log, nullptr);
  EXPECT_FALSE(std::filesystem::exists(slashed + L"\\cut.log"));
}

TEST_F(HostTest, HandedOverDocumentsWaitForReadinessAndMalformedRecordsAreSafe) {
  auto hand_over = [&](ULONG_PTR tag, const void* data, DWORD size) {
    COPYDATASTRUCT record = {tag, size, const_cast<void*>(data)};
    return SendMessageW(h_.runner(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record));
  };
  const std::wstring early = L"C:\\docs\\отчёт.kvd";
  const wchar_t unterminated[] = {L'a', L'b', L'c', L'd'};
  // Accepted: a path; one without a terminator within cbData, cut to what
  // cbData covers; an odd size, rounded down to whole units; an empty path,
  // dropped. Declined: no data, another tag.
  EXPECT_EQ(hand_over(kFileHandOverTag, early.c_str(), DWORD(early.size() + 1) * 2), 1);
  EXPECT_EQ(hand_over(kFileHandOverTag, unterminated, 8), 1);
  EXPECT_EQ(hand_over(kFileHandOverTag, L"wxyz", 7), 1);
  EXPECT_EQ(hand_over(kFileHandOverTag, L"", 2), 1);
  EXPECT_EQ(hand_over(kFileHandOverTag, nullptr, 0), 0);
  EXPECT_EQ(hand_over(0x1234, L"other.kvd", 20), 0);
  EXPECT_EQ(pending_file_opens.size(), 3u);

  std::vector<std::string> opened;
  ASSERT_TRUE(h_.RunApp([&](AppMessenger& app) {
    app.SetMethodCallHandler(
        "korvex/file_open", [&](const std::string& method, const EncodableValue& args) {
          const auto* path = std::get_if<std::string>(&args);
          opened.push_back(method == "openFile" && path ? *path : "?");
          return flutter_app::Answer::Success();
        });
    // Ready twice: nothing is delivered again.
    for (int i = 0; i < 2; ++i) {
      EXPECT_EQ(app.CallMethod("korvex/file_open", "fileOpenReady").kind, Reply::Kind::kSuccess);
      app.RunUntil([&] { return opened.size() >= 3; }, i == 0 ? 5000 : 100);
    }
  }));
  EXPECT_EQ(opened, (std::vector<std::string>{"C:\\docs\\отчёт.kvd", "abcd", "wxy"}));
}

// The current theme when the stream is listened to, then only changes, and
// only for the exact setting name; a change nobody hears is still kept.
TEST_F(HostTest, TaskbarThemeStreamSendsTheCurrentThemeThenOnlyChanges) {
  auto set = [](DWORD value) {
    RegSetKeyValueW(HKEY_CURRENT_USER,
                    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                    L"SystemUsesLightTheme", REG_DWORD, &value, sizeof(value));
  };
  auto change = [&](DWORD value, const wchar_t* name = L"ImmersiveColorSet") {
    set(value);
    SendMessageW(h_.runner(), WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>(name));
  };
  std::vector<EncodableValue> events;
  ASSERT_TRUE(h_.RunApp([&](AppMessenger& app) {
    set(1);
    app.Listen("korvex/taskbar_theme", EncodableValue(),
               [&](const flutter_app::Event& event) { events.push_back(event.value); });
    for (const wchar_t* other : {L"immersivecolorset", L"SomethingElse", (const wchar_t*)nullptr}) {
      change(0, other);
    }
    for (DWORD value : {1, 0, 0, 2, 0, 1}) change(value);  // only 1 is light
    app.RunUntil([&] { return events.size() >= 3; }, 2000);
    app.RunPending(100);
    app.Cancel("korvex/taskbar_theme");
    change(0);
    app.RunPending(100);
  }));
  EXPECT_EQ(events, (std::vector<EncodableValue>{EncodableValue(true), EncodableValue(false),
                                                 EncodableValue(true)}));
  EXPECT_FALSE(taskbar_light_theme);
}

}  // namespace
