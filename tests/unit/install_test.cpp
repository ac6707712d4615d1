// The product as a user gets it: the installer run silently, korvex.exe
// started from its Start-menu shortcut, its notification-area icon and menu
// used with real clicks while the user types into a second program, an
// update over the running copy, and the uninstaller. One test: every step
// starts where the one before left off.

#include <gtest/gtest.h>
#include <windows.h>

#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>

#include "../bench/soak_support.h"
#include "app_driver.h"
#include "common/text_conversion.h"
#include "keyboard_harness.h"
#include "test_support.h"

using test_support::FileHas;
using test_support::PumpUntil;
using test_support::ReadFileBytes;
using test_support::ShownWindow;
using test_support::Xdo;

namespace {

namespace fs = std::filesystem;

constexpr wchar_t kUninstallKey[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Korvex";
constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

std::wstring KnownFolder(int csidl) {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, csidl, nullptr, 0, folder);
  return folder;
}
const std::wstring kInstallFolder = KnownFolder(CSIDL_LOCAL_APPDATA) + L"\\Programs\\Korvex";
const std::wstring kSettingsFolder = KnownFolder(CSIDL_APPDATA) + L"\\Korvex";
const std::wstring kShortcut = KnownFolder(CSIDL_PROGRAMS) + L"\\Korvex.lnk";

std::optional<std::wstring> UserValue(const wchar_t* key, const wchar_t* name) {
  wchar_t value[1024] = {};
  DWORD size = sizeof(value);
  if (RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::wstring(value);
}
std::optional<std::wstring> RunValue() { return UserValue(kRunKey, L"Korvex"); }

bool ProcessRunning(const wchar_t* image) {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  bool found = false;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && !found;
       more = Process32NextW(snapshot, &entry)) {
    found = _wcsicmp(entry.szExeFile, image) == 0;
  }
  CloseHandle(snapshot);
  return found;
}

// Runs |program| to its end; its exit code, or STILL_ACTIVE.
DWORD RunToEnd(const std::wstring& program, const std::wstring& arguments) {
  const PROCESS_INFORMATION process = test_support::StartProgram(program, arguments);
  if (!process.hProcess) return STILL_ACTIVE;
  const DWORD code = test_support::Finish(process, 120000);
  CloseHandle(process.hProcess);
  return code;
}

// The installer that the test before this one made, run silently.
DWORD InstallSilently() {
  return RunToEnd(test_support::ProgramFolder() + L"\\package\\" KORVEX_INSTALLER, L"/S");
}

// The uninstaller starts a copy of itself and leaves at once: done is when
// the copy is gone too.
DWORD Uninstall(const std::wstring& options) {
  const DWORD code = RunToEnd(kInstallFolder + L"\\uninstall.exe", L"/S " + options);
  PumpUntil([] { return !ProcessRunning(L"Un.exe"); }, 60000);
  return code;
}

// What the shortcut starts; nothing when it cannot be read.
std::wstring ShortcutProgram(const std::wstring& shortcut) {
  IShellLinkW* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              reinterpret_cast<void**>(&link)))) {
    return L"";
  }
  IPersistFile* file = nullptr;
  wchar_t path[MAX_PATH] = {};
  if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
      FAILED(file->Load(shortcut.c_str(), STGM_READ)) ||
      FAILED(link->GetPath(path, MAX_PATH, nullptr, 0))) {
    path[0] = L'\0';
  }
  if (file) file->Release();
  link->Release();
  return path;
}

// The system's file browser showing the settings folder.
HWND SettingsFolderWindow() {
  return ShownWindow(nullptr, L"Korvex", [](DWORD id) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    wchar_t image[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    const bool named = process && QueryFullProcessImageNameW(process, 0, image, &size);
    if (process) CloseHandle(process);
    return named && std::wstring(image).ends_with(L"\\explorer.exe");
  });
}

class InstallTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    RemoveAll();
    log_ = test_support::TempFilePath(L"kvi");
    fs::remove_all(capture_);
    fs::create_directories(capture_);
  }
  void TearDown() override {
    editor_.reset();
    Close();
    // What a failed step left must not reach the tests after this one: an
    // instance, a start at the next log-on, settings.
    RemoveAll();
    DeleteFileW(log_.c_str());
    fs::remove_all(capture_);
    CoUninitialize();
  }

  static void RemoveAll() {
    if (UserValue(kUninstallKey, L"InstallLocation")) Uninstall(L"/REMOVESETTINGS");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Korvex");
    std::error_code ignored;
    fs::remove_all(kSettingsFolder, ignored);
  }

  // Starts korvex.exe as its shortcut does.
  void Start() {
    const std::wstring program = ShortcutProgram(kShortcut);
    ASSERT_EQ(program, kInstallFolder + L"\\korvex.exe");
    korvex_ = test_support::StartProgram(program, L"",
                                         {{L"KORVEX_APP_LOG", log_},
                                          {L"KORVEX_TRACE", L"1"},
                                          {L"KORVEX_APP_LOG_DIRECTORY", capture_}});
    ASSERT_TRUE(korvex_.hProcess);
    ASSERT_TRUE(FileHas(log_, "fileOpenReady ", 20000)) << ReadFileBytes(log_);
    runner_ = test_support::RunnerWindowOf(korvex_.dwProcessId);
  }
  void Close() {
    if (!korvex_.hProcess) return;
    test_support::CloseKorvex(korvex_);
    CloseHandle(korvex_.hProcess);
    korvex_ = {};
  }

  // The icon's callback as the notification area calls it for a click
  // (version-4 layout: the event in the low word, the icon's id above).
  void ClickIcon(UINT down, UINT up) {
    for (UINT event : {down, up}) PostMessageW(runner_, WM_USER + 1, 0, MAKELPARAM(event, 1));
  }

  // Opens the menu with a right click on the icon and clicks the item that
  // |rows| (the items above it, a separator counting half) leads to.
  ::testing::AssertionResult Choose(double rows) {
    ClickIcon(WM_RBUTTONDOWN, WM_RBUTTONUP);
    HWND menu = nullptr;
    auto korvex = [&](DWORD process) { return process == korvex_.dwProcessId; };
    if (!PumpUntil([&] { return (menu = ShownWindow(L"#32768", nullptr, korvex)); }, 5000)) {
      return ::testing::AssertionFailure() << "no menu";
    }
    // Five items and two separators; clicked in the middle of its row.
    RECT frame = {};
    GetWindowRect(menu, &frame);
    const int x = (frame.left + frame.right) / 2;
    const int y = frame.top + static_cast<int>((frame.bottom - frame.top) / 6.0 * (rows + 0.5));
    if (!Xdo("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1") ||
        !PumpUntil([&] { return !IsWindowVisible(menu); }, 5000)) {
      return ::testing::AssertionFailure() << "the menu did not take the click";
    }
    return ::testing::AssertionSuccess();
  }

  // Types |keys| into the editor and waits for it to hold |expected|.
  ::testing::AssertionResult Type(const std::string& keys, const std::wstring& expected) {
    editor_->Clear();
    // The menu made korvex the foreground: the editor takes it back.
    SetForegroundWindow(GetAncestor(editor_->edit(), GA_ROOT));
    editor_->Focus();
    Xdo("type --delay 40 '" + keys + "'");
    if (PumpUntil([&] { return editor_->Text() == expected; }, 5000) &&
        !PumpUntil([&] { return editor_->Text() != expected; }, 700)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "editor holds \"" << Utf8FromUtf16(editor_->Text())
                                         << "\"; log:\n" << ReadFileBytes(log_);
  }

  // Whether the application's log, or the settings file, says |line|.
  bool LogSays(const std::string& line) { return FileHas(log_, line, 5000); }
  bool SettingsSay(const std::string& line) {
    return FileHas(kSettingsFolder + L"\\settings.ini", line, 5000);
  }

  std::wstring log_, capture_ = test_support::TempFolder() + L"korvex-install-trace";
  PROCESS_INFORMATION korvex_ = {};
  HWND runner_ = nullptr;
  std::unique_ptr<test_support::SoakTarget> editor_;
};

TEST_F(InstallTest, InstallControlQuitUpdateAndUninstallAsAUser) {
  ASSERT_EQ(InstallSilently(), 0u);
  // The output folder's layout, every file of it, and the uninstaller.
  const std::wstring& folder = kInstallFolder;
  const fs::path out = test_support::ProgramFolder() + L"\\..\\out";
  for (const auto& entry : fs::recursive_directory_iterator(out)) {
    EXPECT_TRUE(fs::exists(folder / fs::relative(entry.path(), out))) << entry.path();
  }
  EXPECT_EQ(UserValue(kUninstallKey, L"InstallLocation"), folder);
  EXPECT_EQ(UserValue(kUninstallKey, L"DisplayVersion"), L"0.1.0");
  EXPECT_EQ(UserValue(kUninstallKey, L"UninstallString"), L"\"" + folder + L"\\uninstall.exe\"");
  const std::wstring autostart = L"\"" + folder + L"\\korvex.exe\" --autostart";
  EXPECT_EQ(RunValue(), autostart);

  // Started from the shortcut while the user works in another program:
  // no window, an icon, and keys recorded from the first moments on.
  editor_ = std::make_unique<test_support::SoakTarget>();
  ASSERT_TRUE(editor_->ready());
  ASSERT_NO_FATAL_FAILURE(Start());
  const std::wstring trace = capture_ + L"\\korvex_capture.log";
  EXPECT_TRUE(PumpUntil(
      [&] {
        Xdo("key Right");
        return ReadFileBytes(trace).find("emit keyDown") != std::string::npos;
      },
      30000));
  ASSERT_NE(runner_, nullptr);
  EXPECT_FALSE(IsWindowVisible(runner_));
  EXPECT_TRUE(test_support::TrayIconShown(runner_));
  EXPECT_TRUE(Type("ghbdtn ", L"привет "));

  // A left click switches automatic repair off, and the menu on again.
  ClickIcon(WM_LBUTTONDOWN, WM_LBUTTONUP);
  EXPECT_TRUE(LogSays("tray korvex_tray_off.ico Korvex: automatic repair off, key sounds off\n"));
  EXPECT_TRUE(SettingsSay("autoRepair = off\n"));
  EXPECT_TRUE(Type("ghbdtn ", L"ghbdtn "));
  // The switch is saved even though another program held the file open.
  HANDLE reader = CreateFileW((kSettingsFolder + L"\\settings.ini").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_TRUE(Choose(0));
  EXPECT_TRUE(LogSays("settingsNotSaved\n"));
  CloseHandle(reader);
  EXPECT_TRUE(SettingsSay("autoRepair = on\n"));
  EXPECT_TRUE(Type("ghbdtn ", L"привет "));

  // Key sounds on: a key typed is a click played.
  ASSERT_TRUE(Choose(1));
  EXPECT_TRUE(LogSays("tray korvex_tray.ico Korvex: automatic repair on, key sounds on\n"));
  EXPECT_TRUE(SettingsSay("keySounds = on\n"));
  EXPECT_TRUE(Type("x", L"x"));
  EXPECT_TRUE(FileHas(trace, "key sound 04090409\n", 5000));

  // Start with Windows: off, and on again with this copy's command.
  ASSERT_TRUE(Choose(2));
  EXPECT_TRUE(PumpUntil([] { return !RunValue(); }, 5000));
  ASSERT_TRUE(Choose(2));
  EXPECT_TRUE(PumpUntil([&] { return RunValue() == autostart; }, 5000));

  // The settings folder, in the system's file browser.
  ASSERT_TRUE(Choose(3.5));
  HWND browser = nullptr;
  EXPECT_TRUE(PumpUntil([&] { return (browser = SettingsFolderWindow()); }, 15000));
  if (browser) PostMessageW(browser, WM_CLOSE, 0, 0);
  EXPECT_TRUE(PumpUntil([] { return !SettingsFolderWindow(); }, 5000));

  // Quit: a clean end, no process left, no icon.
  ASSERT_TRUE(Choose(5));
  EXPECT_EQ(test_support::Finish(korvex_, 15000), 0u);
  EXPECT_TRUE(ReadFileBytes(log_).ends_with("quit\nstop\n")) << ReadFileBytes(log_);
  EXPECT_FALSE(ProcessRunning(L"korvex.exe"));
  EXPECT_FALSE(test_support::TrayIconShown(runner_));
  Close();
  editor_.reset();

  // An update over a running copy closes it cleanly and replaces its files,
  // which it held locked. The installed program is made to differ first,
  // and the user's earlier choice not to start with Windows is kept.
  const std::wstring exe = folder + L"\\korvex.exe";
  const uintmax_t size = fs::file_size(exe);
  std::ofstream(fs::path(exe), std::ios::app | std::ios::binary) << "stale";
  RegDeleteKeyValueW(HKEY_CURRENT_USER, kRunKey, L"Korvex");
  DeleteFileW(log_.c_str());
  ASSERT_NO_FATAL_FAILURE(Start());
  EXPECT_EQ(InstallSilently(), 0u);
  EXPECT_EQ(test_support::Finish(korvex_, 1000), 0u);
  EXPECT_TRUE(ReadFileBytes(log_).ends_with("stop\n")) << ReadFileBytes(log_);
  EXPECT_EQ(fs::file_size(exe), size);
  EXPECT_FALSE(RunValue());
  Close();

  // Uninstalled: nothing of it left but the user's settings, which go only
  // when asked.
  EXPECT_EQ(Uninstall(L""), 0u);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(fs::exists(kShortcut));
  EXPECT_FALSE(UserValue(kUninstallKey, L"DisplayName"));
  EXPECT_TRUE(fs::exists(kSettingsFolder + L"\\settings.ini"));
  ASSERT_EQ(InstallSilently(), 0u);
  EXPECT_EQ(RunValue(), autostart);
  EXPECT_EQ(Uninstall(L"/REMOVESETTINGS"), 0u);
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(RunValue());
  EXPECT_FALSE(fs::exists(kSettingsFolder));
}

}  // namespace
