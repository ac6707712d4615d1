// korvex.exe as separate processes: single instance, document hand-over
// between real processes, and the self-test switch.

#include <gtest/gtest.h>
#include <windows.h>

#include <regex>

#include "test_support.h"

using namespace test_support;

namespace {

using Process = PROCESS_INFORMATION;

// Every korvex.exe a test starts ends with the test, whatever its outcome:
// one left running would be the instance every later start finds.
class ProcessTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const Process& process : started_) {
      CloseKorvex(process);
      CloseHandle(process.hProcess);
    }
  }
  Process Start(const std::wstring& arguments, const Environment& env = {}) {
    return started_.emplace_back(StartKorvex(arguments, env));
  }

  std::vector<Process> started_;
};

TEST_F(ProcessTest, SecondInstancesHandTheirDocumentToTheFirstInOrder) {
  const std::wstring log = TempFilePath(L"kvp");
  // The application says it is ready only after a while, so the first two
  // documents must wait for it (two Wine starts take seconds on a busy
  // machine). Its arguments reach it whole, in UTF-8.
  Process first =
      Start(L"--autostart \"C:\\docs\\отчёт.kvd\" \"\" \"two words\"",
            {{L"KORVEX_APP_LOG", log}, {L"KORVEX_APP_READY_DELAY_MS", L"5000"}});
  HWND runner = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (runner = RunnerWindowOf(first.dwProcessId)); }, 15000))
      << "exit code (259 while it runs): " << Finish(first, 0);

  // The first document of each; a start with the system hands nothing over.
  for (const wchar_t* arguments :
       {L"a.kvd", L"--flag \"C:\\My Files\\B.KVD\" second.kvd", L"--autostart c.kvd"}) {
    EXPECT_EQ(Finish(Start(arguments), 15000), 0u) << arguments;
  }
  // A second start brings the running window forward.
  EXPECT_TRUE(PumpUntil([&] { return IsWindowVisible(runner) != FALSE; }, 5000));

  ASSERT_TRUE(FileHas(log, "fileOpenReady ok", 15000));
  EXPECT_EQ(Finish(Start(L"..\\relative\\late.kvd"), 15000), 0u);
  ASSERT_TRUE(FileHas(log, "late.kvd", 10000));

  CloseKorvex(first);
  const std::string record = ReadFileBytes(log);
  DeleteFileW(log.c_str());
  EXPECT_EQ(record,
            "start main\n"
            "argc 4\n"
            "arg --autostart\n"
            "arg C:\\\\docs\\\\отчёт.kvd\n"
            "arg\n"
            "arg two words\n"
            "tray korvex_tray.ico Korvex: automatic repair on, key sounds off\n"
            "call fileOpenReady\n"
            "openFile a.kvd\n"
            "openFile C:\\\\My Files\\\\B.KVD\n"
            "fileOpenReady ok\n"
            "openFile ..\\\\relative\\\\late.kvd\n"
            "stop\n");
}

TEST_F(ProcessTest, SelfTestSwitchWinsAndASecondStartOutlastsAHungInstance) {
  // No instance runs: "--selftest" inside a quoted path still means the
  // self-test, and this process's own injection passes it.
  EXPECT_EQ(Finish(Start(L"\"C:\\x--selftestx\\a.kvd\" --runs 1"), 60000), 0u);

  // An instance that takes the self-test's simulated keys as the user's.
  const std::wstring app_log = TempFilePath(L"kvs");
  Process first =
      Start(L"--autostart", {{L"KORVEX_ACCEPT_INJECTED", L"1"}, {L"KORVEX_APP_LOG", app_log}});
  ASSERT_TRUE(FileHas(app_log, "fileOpenReady ", 15000));
  // With it the end-to-end scenarios run too and the application passes
  // them; Wine has no Russian layout to load here, so S4 is skipped.
  const std::wstring log = TempFolder() + L"korvex_selftest.log";
  DeleteFileW(log.c_str());
  const DWORD failures = Finish(Start(L"--selftest --runs 2"), 120000);
  const std::string text = ReadFileBytes(log);
  for (const std::string name : {"S1", "S2", "S3", "S5", "S6", "S7"}) {
    EXPECT_TRUE(std::regex_search(
        text, std::regex("\n  summary " + name + " [^\n]*: pass=2 fail=0\n")))
        << name << "\n" << text;
  }
  EXPECT_TRUE(std::regex_search(text, std::regex("\n-- S4[^\n]*: SKIP")));
  EXPECT_EQ(failures, 0u);
  DeleteFileW(app_log.c_str());

  // An instance whose window thread hangs holds a second start up only for
  // a while, not for ever.
  HANDLE thread = OpenThread(
      THREAD_SUSPEND_RESUME, FALSE,
      GetWindowThreadProcessId(RunnerWindowOf(first.dwProcessId), nullptr));
  ASSERT_NE(thread, nullptr);
  ASSERT_NE(SuspendThread(thread), static_cast<DWORD>(-1));
  EXPECT_EQ(Finish(Start(L"hung.kvd"), 30000), 0u);
  ResumeThread(thread);
  CloseHandle(thread);

  // Closing the window ends the instance with 0.
  EXPECT_EQ(CloseKorvex(first), 0u);
}

}  // namespace
