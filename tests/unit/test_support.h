#ifndef KORVEX_TESTS_UNIT_TEST_SUPPORT_H_
#define KORVEX_TESTS_UNIT_TEST_SUPPORT_H_

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace test_support {

// The folder of the running test program.
std::wstring ProgramFolder();

// A folder with a do-nothing application module, so that the test can act
// as the application itself.
std::wstring PassiveProjectFolder();

// Pumps this thread's messages until |done| holds or |timeout_ms| passes.
bool PumpUntil(const std::function<bool()>& done, int timeout_ms);

// Reads a whole file as bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::wstring& path);
// Whether the file holds |text| within |timeout_ms|, pumping meanwhile.
bool FileHas(const std::wstring& path, const std::string& text, int timeout_ms);

// The user's temporary folder, with its trailing separator.
std::wstring TempFolder();
std::wstring TempFilePath(const wchar_t* prefix);

// The runner window of korvex.exe process |process_id|, or null.
HWND RunnerWindowOf(DWORD process_id);
// A visible top-level window of |window_class| titled |title| (null: any)
// whose process |wanted| accepts; null when there is none.
HWND ShownWindow(const wchar_t* window_class, const wchar_t* title,
                 const std::function<bool(DWORD process)>& wanted);

using Environment = std::vector<std::pair<const wchar_t*, std::wstring>>;

// Starts |program| with |arguments| in the program's folder, the variables
// of |env| set for this start only; a null process when it did not start.
// The caller closes hProcess.
PROCESS_INFORMATION StartProgram(const std::wstring& program,
                                 const std::wstring& arguments,
                                 const Environment& env = {});
// The output folder's korvex.exe, laid out as installed.
PROCESS_INFORMATION StartKorvex(const std::wstring& arguments,
                                const Environment& env = {});
// The exit code, or STILL_ACTIVE when it did not end in time.
DWORD Finish(const PROCESS_INFORMATION& process, DWORD timeout_ms);
// Asks the instance to close, and ends it if it overstays; its exit code.
DWORD CloseKorvex(const PROCESS_INFORMATION& process);

// Whether the notification area has |window|'s icon 1: changing nothing in
// it succeeds only then.
bool TrayIconShown(HWND window);

// Leaves |size| bytes of |data| under |format| on the clipboard, which the
// caller has open.
bool PutClipboardData(UINT format, const void* data, size_t size);
// The clipboard's bytes under |format|; "<none>" when it has none.
std::string ClipboardBytes(UINT format);

// True under Wine, whose faults some checks have to allow for.
bool UnderWine();

}  // namespace test_support

#endif  // KORVEX_TESTS_UNIT_TEST_SUPPORT_H_
