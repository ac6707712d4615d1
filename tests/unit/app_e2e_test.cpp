// The application in korvex.exe as a user meets it: physical keys from
// xdotool into a second program's edit control, the repairs and hot keys
// seen in that control's text and on the clipboard. One start for each
// pass, the English one (US keymap) and the Russian one, which
// russian_keymap.sh runs with a Russian locale and keymap. The self-test's
// own S4 cannot run under Wine (VkKeyScanExW finds no Cyrillic letter), so
// its double Left Shift is checked here with physical keys instead. The
// times these take are repair_latency's figures.

#include <gtest/gtest.h>
#include <windows.h>

#include <shlobj.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "../bench/soak_support.h"
#include "common/text_conversion.h"
#include "keyboard_harness.h"
#include "test_support.h"

using test_support::PumpUntil;
using test_support::Xdo;

namespace {

bool RussianPass() {
  const char* pass = std::getenv("KORVEX_RUSSIAN_PASS");
  return pass && pass[0] == '1';
}

// What the user taught the repair, kept beside settings.ini.
std::wstring ExceptionsPath() {
  wchar_t folder[MAX_PATH] = {};
  SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, 0, folder);
  return std::wstring(folder) + L"\\Korvex\\repair_exceptions.txt";
}

// Puts |formats| on the clipboard, as another program would.
bool PutClipboard(const std::vector<std::pair<UINT, std::string>>& formats) {
  if (!OpenClipboard(nullptr)) return false;
  EmptyClipboard();
  bool put = true;
  for (const auto& [format, bytes] : formats) {
    put = test_support::PutClipboardData(format, bytes.data(), bytes.size()) && put;
  }
  CloseClipboard();
  return put;
}

// korvex.exe with its application, untaught, and the editor the user types
// into. Each key is typed 30 ms apart (an allowed value): a repair takes
// about half a second, which gives the user time to act during it.
class AppE2eTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeleteFileW(ExceptionsPath().c_str());
    log_ = test_support::TempFilePath(L"kve");
    korvex_ = test_support::StartKorvex(
        L"--autostart",
        {{L"KORVEX_APP_LOG", log_}, {L"KORVEX_KEY_DELAY_MS", L"30"}});
    ASSERT_TRUE(test_support::FileHas(log_, "fileOpenReady ", 20000));
    editor_ = std::make_unique<test_support::SoakTarget>();  // X focus
    ASSERT_TRUE(editor_->ready());
  }
  void TearDown() override {
    editor_.reset();
    test_support::CloseKorvex(korvex_);
    CloseHandle(korvex_.hProcess);
    DeleteFileW(log_.c_str());
    DeleteFileW(ExceptionsPath().c_str());
  }

  std::wstring Text() const { return editor_->Text(); }
  // On failure says what the editor and the application's log held.
  ::testing::AssertionResult WaitFor(const std::wstring& expected) {
    if (PumpUntil([&] { return Text() == expected; }, 5000)) {
      return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "editor holds \"" << Utf8FromUtf16(Text())
           << "\"; application log:\n"
           << test_support::ReadFileBytes(log_);
  }
  ::testing::AssertionResult Type(const std::string& keys,
                                  const std::wstring& expected) {
    if (!Xdo("type --delay 40 '" + keys + "'")) {
      return ::testing::AssertionFailure() << "xdotool failed";
    }
    return WaitFor(expected);
  }

  std::wstring log_;
  PROCESS_INFORMATION korvex_ = {};
  std::unique_ptr<test_support::SoakTarget> editor_;
};

TEST_F(AppE2eTest, EnglishPassRepairsWhileTheUserTypesAndActs) {
  if (RussianPass()) GTEST_SKIP() << "English pass only";
  // Repaired before the space; a short word follows the word before it, an
  // English word stays; a held Enter reaches the editor after its word.
  ASSERT_TRUE(Type("ghbdtn b vbh hello vbh", L"привет и мир hello vbh"));
  ASSERT_TRUE(Xdo("key Return"));
  EXPECT_TRUE(WaitFor(L"привет и мир hello мир\r\n"));

  // Double Left Shift converts the last word.
  editor_->Clear();
  ASSERT_TRUE(Type("ntcn", L"ntcn"));
  ASSERT_TRUE(Xdo("key --delay 120 Shift_L Shift_L"));
  EXPECT_TRUE(WaitFor(L"тест"));

  // Ctrl pressed and held across a repair makes none of its keys a shortcut.
  editor_->Clear();
  ASSERT_TRUE(Type("one two ghbdtn", L"one two ghbdtn"));
  ASSERT_TRUE(Xdo("key space keydown ctrl sleep 0.6 keyup ctrl"));
  EXPECT_TRUE(WaitFor(L"one two привет "));

  // Shift+Enter after a word on the wrong layout stays Shift+Enter; an Enter
  // with Shift pressed right after it stays plain; a word and its Enter typed
  // while the one before is still being repaired come in order.
  editor_->Clear();
  ASSERT_TRUE(Type("ghbdtn", L"ghbdtn"));
  ASSERT_TRUE(Xdo("keydown Shift_L key Return keyup Shift_L"));
  EXPECT_TRUE(WaitFor(L"привет\r\n"));
  ASSERT_TRUE(Type("vbh", L"привет\r\nvbh"));
  ASSERT_TRUE(Xdo("key Return keydown Shift_L sleep 0.2 keyup Shift_L "
                  "type --delay 10 'ok'"));
  ASSERT_TRUE(Xdo("key Return"));
  EXPECT_TRUE(WaitFor(L"привет\r\nмир\r\nok\r\n"));
  EXPECT_EQ(editor_->ReturnLog(), L"-S--");  // the first from the held Enter

  // Hot keys on the selection and on the last word give back every format
  // the user had on the clipboard, text or none.
  const UINT html = RegisterClipboardFormatW(L"HTML Format");
  const UINT own = RegisterClipboardFormatW(L"KorvexTestPrivate");
  for (bool selection : {true, false}) {
    std::vector<std::pair<UINT, std::string>> formats = {
        {html, "<b>rich</b>"}, {own, std::string("\x01\x00\xff", 3)}};
    if (selection) formats.push_back({CF_UNICODETEXT, std::string("t\0x\0\0\0", 6)});
    ASSERT_TRUE(PutClipboard(formats));
    if (selection) {
      SendMessageW(editor_->edit(), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"privet mir"));
      SendMessageW(editor_->edit(), EM_SETSEL, 0, -1);
    } else {
      editor_->Clear();
      ASSERT_TRUE(Type("moskva", L"moskva"));
    }
    ASSERT_TRUE(Xdo("key ctrl+shift+t"));
    EXPECT_TRUE(WaitFor(selection ? L"привет мир" : L"москва"));
    for (const auto& [format, bytes] : formats) {
      EXPECT_EQ(test_support::ClipboardBytes(format), bytes) << format;
    }
    if (!selection) {
      EXPECT_EQ(test_support::ClipboardBytes(CF_UNICODETEXT), "<none>");
    }
  }

  // A repair taken back (double Left Shift) is learnt and not made again,
  // even when another program held the file open as it was learnt. The
  // field is emptied as a user does it, so the word before ends too.
  ASSERT_TRUE(Xdo("key End shift+Home BackSpace"));
  ASSERT_TRUE(WaitFor(L""));
  ASSERT_TRUE(Type("ghbdtn ", L"привет "));
  HANDLE reader = CreateFileW(ExceptionsPath().c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(Xdo("key --delay 120 Shift_L Shift_L"));
  ASSERT_TRUE(WaitFor(L"ghbdtn "));
  ASSERT_TRUE(test_support::FileHas(log_, "exceptions unsaved", 5000));
  CloseHandle(reader);
  ASSERT_TRUE(test_support::FileHas(ExceptionsPath(), "keep ghbdtn\n", 5000));
  ASSERT_TRUE(Type("ghbdtn ", L"ghbdtn ghbdtn "));
  PumpUntil([] { return false; }, 800);
  EXPECT_EQ(Text(), L"ghbdtn ghbdtn ");
}

TEST_F(AppE2eTest, RussianPassDoubleLeftShiftGivesTheEnglishWord) {
  if (!RussianPass()) GTEST_SKIP() << "needs russian_keymap.sh";
  // Physical keys of the Russian keymap, where English was meant.
  // Keysym names: the command line to xdotool is ASCII.
  ASSERT_TRUE(Xdo("key --delay 40 Cyrillic_er Cyrillic_u Cyrillic_de "
                  "Cyrillic_de Cyrillic_shcha"));
  ASSERT_TRUE(WaitFor(L"руддщ"));
  ASSERT_TRUE(Xdo("key --delay 120 Shift_L Shift_L"));
  EXPECT_TRUE(WaitFor(L"hello"));
}

}  // namespace
