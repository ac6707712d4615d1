// korvex.exe as separate processes: single instance, document hand-over
// between real processes, the self-test switch, and the capture log.

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "test_support.h"

using test_support::PumpUntil;
using test_support::ReadFileBytes;

namespace {

std::wstring Korvex() {
  return test_support::OutputFolder() + L"\\korvex.exe";
}

struct Process {
  HANDLE handle = nullptr;
  DWORD id = 0;
};

// Starts korvex.exe with |arguments| and extra environment variables.
Process Start(const std::wstring& arguments,
              const std::vector<std::pair<const wchar_t*, std::wstring>>& env = {}) {
  for (const auto& variable : env) {
    SetEnvironmentVariableW(variable.first, variable.second.c_str());
  }
  std::wstring command = L"\"" + Korvex() + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  Process process;
  if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                     test_support::OutputFolder().c_str(), &startup, &info)) {
    CloseHandle(info.hThread);
    process.handle = info.hProcess;
    process.id = info.dwProcessId;
  }
  for (const auto& variable : env) {
    SetEnvironmentVariableW(variable.first, nullptr);
  }
  return process;
}

// The exit code, or STILL_ACTIVE when it did not end in time.
DWORD Finish(const Process& process, DWORD timeout_ms) {
  DWORD code = STILL_ACTIVE;
  if (WaitForSingleObject(process.handle, timeout_ms) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.handle, &code);
  }
  return code;
}

HWND RunnerWindowOf(DWORD process_id) {
  struct Search {
    DWORD id;
    HWND found;
  } search{process_id, nullptr};
  EnumWindows(
      [](HWND window, LPARAM parameter) -> BOOL {
        auto* s = reinterpret_cast<Search*>(parameter);
        wchar_t name[64] = {};
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == s->id && GetClassNameW(window, name, 64) &&
            wcscmp(name, L"FLUTTER_RUNNER_WIN32_WINDOW") == 0) {
          s->found = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool LogHas(const std::wstring& log, const std::string& text, int timeout_ms) {
  return PumpUntil(
      [&] { return ReadFileBytes(log).find(text) != std::string::npos; },
      timeout_ms);
}

void Close(const Process& process) {
  if (HWND window = RunnerWindowOf(process.id)) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  if (Finish(process, 10000) == STILL_ACTIVE) {
    TerminateProcess(process.handle, 99);
    WaitForSingleObject(process.handle, 5000);
  }
  CloseHandle(process.handle);
}

LRESULT SendRecord(HWND window, ULONG_PTR tag, const void* data, DWORD size) {
  COPYDATASTRUCT record = {};
  record.dwData = tag;
  record.cbData = size;
  record.lpData = const_cast<void*>(data);
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&record),
                      SMTO_NORMAL, 10000, &result);
  return static_cast<LRESULT>(result);
}

TEST(ProcessTest, SecondInstancesHandTheirDocumentToTheFirstInOrder) {
  const std::wstring log = test_support::TempFilePath(L"kvp");
  DeleteFileW(log.c_str());
  // The application says it is ready only after a while, so the first two
  // documents must wait for it.
  Process first = Start(L"--autostart own.kvd",
                        {{L"KORVEX_APP_LOG", log},
                         {L"KORVEX_APP_READY_DELAY_MS", L"2500"}});
  ASSERT_NE(first.handle, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return RunnerWindowOf(first.id) != nullptr; },
                        15000));
  HWND runner = RunnerWindowOf(first.id);
  // Started with the system, the application keeps the window hidden.
  EXPECT_FALSE(IsWindowVisible(runner));

  EXPECT_EQ(Finish(Start(L"a.kvd"), 15000), 0u);
  EXPECT_EQ(Finish(Start(L"--flag \"C:\\My Files\\B.KVD\" second.kvd"), 15000),
            0u);
  // Exits at once without handing anything over.
  EXPECT_EQ(Finish(Start(L"--autostart c.kvd"), 15000), 0u);
  // Only the text after the last dot counts.
  EXPECT_EQ(Finish(Start(L"notes.kvd.txt"), 15000), 0u);
  // A second start brings the running window forward.
  EXPECT_TRUE(IsWindowVisible(runner));

  ASSERT_TRUE(LogHas(log, "fileOpenReady ok", 15000));
  EXPECT_EQ(Finish(Start(L"..\\relative\\late.kvd"), 15000), 0u);
  ASSERT_TRUE(LogHas(log, "late.kvd", 10000));

  // Records that are not what they claim are declined or cut, never
  // read past their size.
  const wchar_t text[] = L"odd-size.kvd";
  EXPECT_EQ(SendRecord(runner, 0x4B5644, text, 7), 1);
  EXPECT_EQ(SendRecord(runner, 0x4B5644, nullptr, 0), 0);
  EXPECT_EQ(SendRecord(runner, 0x4B5645, text, sizeof(text)), 0);
  ASSERT_TRUE(LogHas(log, "openFile odd\n", 10000));

  Close(first);
  const std::string record = ReadFileBytes(log);
  DeleteFileW(log.c_str());
  EXPECT_EQ(record,
            "start main\n"
            "argc 2\n"
            "arg --autostart\n"
            "arg own.kvd\n"
            "call fileOpenReady\n"
            "openFile a.kvd\n"
            "openFile C:\\\\My Files\\\\B.KVD\n"
            "fileOpenReady ok\n"
            "openFile ..\\\\relative\\\\late.kvd\n"
            "openFile odd\n"
            "stop\n");
}

// Waits for the process and ends it if it overstays; the exit code, or
// STILL_ACTIVE when it had to be ended.
DWORD FinishOrEnd(const Process& process, DWORD timeout_ms) {
  const DWORD code = Finish(process, timeout_ms);
  if (code == STILL_ACTIVE) {
    TerminateProcess(process.handle, 99);
    WaitForSingleObject(process.handle, 5000);
  }
  CloseHandle(process.handle);
  return code;
}

TEST(ProcessTest, SelfTestSwitchWinsEvenInsideAnArgumentAndWithAnInstance) {
  // No instance runs: "--selftest" inside a quoted path still means the
  // self-test, and this process's own injection passes it.
  EXPECT_EQ(FinishOrEnd(Start(L"\"C:\\x--selftestx\\a.kvd\" --runs 1"), 60000),
            0u);

  Process first = Start(L"--autostart");
  ASSERT_TRUE(PumpUntil([&] { return RunnerWindowOf(first.id) != nullptr; },
                        15000));
  // With an instance running the self-test also runs the end-to-end
  // scenarios; the stand-in application does not react to hot keys, so the
  // three that can run (no Russian layout here) fail once each.
  Process while_running = Start(L"--selftest --runs 1");
  EXPECT_EQ(FinishOrEnd(while_running, 90000), 3u);
  // Closing the window ends the instance with 0.
  if (HWND window = RunnerWindowOf(first.id)) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  EXPECT_EQ(FinishOrEnd(first, 15000), 0u);
}

TEST(ProcessTest, TracingSwitchDecidesWhetherTheCaptureLogIsOpened) {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  const std::wstring folder = std::wstring(temp) + L"korvex-trace-run";
  CreateDirectoryW(folder.c_str(), nullptr);
  const std::wstring file = folder + L"\\korvex_capture.log";
  const std::wstring app_log = test_support::TempFilePath(L"kvt");
  for (const wchar_t* trace : {L"0", L"1"}) {
    DeleteFileW(file.c_str());
    DeleteFileW(app_log.c_str());
    Process run = Start(L"--autostart", {{L"KORVEX_TRACE", trace},
                                         {L"KORVEX_APP_LOG", app_log},
                                         {L"KORVEX_APP_LOG_DIRECTORY", folder}});
    ASSERT_TRUE(LogHas(app_log, "fileOpenReady ", 15000));
    EXPECT_NE(ReadFileBytes(app_log).find("setLogDirectory ok"),
              std::string::npos);
    const bool opened =
        GetFileAttributesW(file.c_str()) != INVALID_FILE_ATTRIBUTES;
    EXPECT_EQ(opened, trace[0] == L'1');
    Close(run);
  }
  DeleteFileW(file.c_str());
  DeleteFileW(app_log.c_str());
}

}  // namespace
