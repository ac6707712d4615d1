#ifndef KORVEX_TESTS_UNIT_TEST_SUPPORT_H_
#define KORVEX_TESTS_UNIT_TEST_SUPPORT_H_

#include <windows.h>

#include <functional>
#include <string>

namespace test_support {

// The folder of the running test program.
std::wstring ProgramFolder();

// The installed-layout output folder of the build.
std::wstring OutputFolder();

// A folder with a do-nothing application module, so that the test can act
// as the application itself.
std::wstring PassiveProjectFolder();

// Pumps this thread's messages until |done| holds or |timeout_ms| passes.
bool PumpUntil(const std::function<bool()>& done, int timeout_ms);

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);

// The user's temporary folder, with its trailing separator.
std::wstring TempFolder();
std::wstring TempFilePath(const wchar_t* prefix);

// Sends a WM_COPYDATA record to |window|; its answer, 0 after 10 s.
LRESULT SendRecord(HWND window, ULONG_PTR tag, const void* data, DWORD size);

// The runner window of korvex.exe process |process_id|, or null.
HWND RunnerWindowOf(DWORD process_id);

// True under Wine, whose faults some checks have to allow for.
bool UnderWine();

}  // namespace test_support

#endif  // KORVEX_TESTS_UNIT_TEST_SUPPORT_H_
