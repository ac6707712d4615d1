// The layout catalogue and character tables through "korvex/automation":
// as Wine reports them (US, or Russian when russian_keymap.sh runs this),
// with layout data of the test's own through the seams (Wine has one layout
// and ignores the layout argument), and with catalogue entries it writes.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "bridge/text_conversion.h"
#include "injection/layout_switch.h"
#include "keyboard_harness.h"
#include "layouts/layout_tables.h"
#include "test_support.h"

using flutter::EncodableList;
using flutter_app::AppMessenger;
using namespace test_support;
using Strings = std::vector<std::string>;

namespace {

HKL H(uintptr_t bits) { return reinterpret_cast<HKL>(bits); }

EncodableList CallList(KeyboardHarness& h, const char* method) {
  EncodableList list;
  h.RunApp([&](AppMessenger& app) {
    list = std::get<EncodableList>(h.Call(app, method).value);
  });
  return list;
}

// "id=name" per entry.
Strings Names(KeyboardHarness& h) {
  Strings names;
  for (const EncodableValue& entry : CallList(h, "listKeyboardLayouts")) {
    const auto& map = std::get<EncodableMap>(entry);
    names.push_back(StringOf(map, "id") + "=" + StringOf(map, "name"));
  }
  return names;
}

// Per layout: its language id, then "chars" and "shiftChars" in UTF-16.
using Row = std::tuple<int32_t, std::wstring, std::wstring>;
std::vector<Row> Tables(KeyboardHarness& h) {
  std::vector<Row> tables;
  for (const EncodableValue& entry : CallList(h, "systemLayouts")) {
    const auto& map = std::get<EncodableMap>(entry);
    tables.emplace_back(IntOf(map, "langId"),
                        Utf16FromUtf8(StringOf(map, "chars")),
                        Utf16FromUtf8(StringOf(map, "shiftChars")));
  }
  return tables;
}

const std::wstring kUs = L"`1234567890-=qwertyuiop[]\\asdfghjkl;'zxcvbnm,./";
const std::wstring kUsShift = L"~!@#$%^&*()_+QWERTYUIOP{}|ASDFGHJKL:\"ZXCVBNM<>?";
const std::wstring kRu = L"ё1234567890-=йцукенгшщзхъ\\фывапролджэячсмитьбю.";
const std::wstring kRuShift = L"Ё!\"№;%:?*()_+ЙЦУКЕНГШЩЗХЪ/ФЫВАПРОЛДЖЭЯЧСМИТЬБЮ,";
constexpr wchar_t kDead = 1, kTwoUnits = 2;

// Layout data of the test's own: per layout the 47 keys' units in the order
// of the product's scan codes, which the real US and Russian tables pin; the
// VK is the scan code + 0x100, so a mix-up of the two shows.
struct FakeKeyboard {
  std::vector<HKL> installed;
  HKL current = nullptr;
  DWORD thread_asked = 0;
  std::map<HKL, std::pair<std::wstring, std::wstring>> rows;
  bool bad_call = false;  // other flags or key state than asked for
} fake;

int WINAPI FakeList(int count, HKL* list) {
  const int n = static_cast<int>(fake.installed.size());
  for (int i = 0; i < count && i < n; ++i) list[i] = fake.installed[i];
  return count == 0 ? n : std::min(count, n);
}
HKL WINAPI FakeCurrent(DWORD thread) {
  fake.thread_asked = thread;
  return fake.current;
}
UINT WINAPI FakeMap(UINT scan, UINT type, HKL layout) {
  fake.bad_call |= type != MAPVK_VSC_TO_VK_EX;
  return fake.rows.count(layout) ? scan + 0x100 : 0;
}
int WINAPI FakeToUnicode(UINT vk, UINT scan, const BYTE* state, LPWSTR out,
                         int size, UINT flags, HKL layout) {
  for (int k = 0; k < 256; ++k) fake.bad_call |= k != VK_SHIFT && state[k];
  fake.bad_call |= flags != 4 || vk != scan + 0x100 || size < 2;
  const size_t at = std::find(kCharacterKeyScanCodes.begin(),
                              kCharacterKeyScanCodes.end(), scan) -
                    kCharacterKeyScanCodes.begin();
  const auto& row = fake.rows[layout];
  const wchar_t unit = (state[VK_SHIFT] ? row.second : row.first)[at];
  if (unit == kDead) return -1;
  if (unit == kTwoUnits) return out[0] = L'x', out[1] = L'y', 2;
  out[0] = unit;
  return unit ? 1 : 0;
}

class LayoutsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    layout_functions = saved_layouts_;
    layout_key_functions = saved_keys_;
    for (const std::wstring& klid : written_) {
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kCatalogue + klid).c_str());
    }
  }
  void Fake(std::vector<HKL> installed) {
    fake.installed = std::move(installed);
    layout_functions.get_keyboard_layout_list = FakeList;
  }
  // |bytes| 0: the whole string with its terminator.
  void Write(const std::wstring& klid, const wchar_t* value, DWORD type,
             const std::wstring& data, DWORD bytes = 0) {
    written_.push_back(klid);
    EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, (kCatalogue + klid).c_str(),
                              value, type, data.c_str(),
                              bytes ? bytes : DWORD(data.size() + 1) * 2),
              ERROR_SUCCESS);
  }

  const std::wstring kCatalogue =
      L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\";
  KeyboardHarness h_;
  std::vector<std::wstring> written_;
  KeyboardLayoutFunctions saved_layouts_ = layout_functions;
  LayoutKeyFunctions saved_keys_ = layout_key_functions;
};

TEST_F(LayoutsTest, RealLayoutAsWineReportsIt) {
  ASSERT_TRUE(h_.ready());
  // A fresh prefix has no catalogue: only the locale's layout is listed.
  ASSERT_EQ(GetKeyboardLayoutList(0, nullptr), 1);
  const bool russian =
      GetEnvironmentVariableW(L"KORVEX_RUSSIAN_PASS", nullptr, 0) != 0;
  ASSERT_EQ(GetKeyboardLayout(0), H(russian ? 0x04190419 : 0x04090409));
  if (russian) {
    EXPECT_EQ(Names(h_), Strings{"04190419=Russian (Russia)"});
    // KOI8-R has no numero sign: Wine gives nothing for Shift+3.
    std::wstring shifted = kRuShift;
    shifted[3] = L'\0';
    EXPECT_EQ(Tables(h_), (std::vector<Row>{{1049, kRu, shifted}}));
  } else {
    EXPECT_EQ(Names(h_), Strings{"04090409=English (United States)"});
    EXPECT_EQ(Tables(h_), (std::vector<Row>{{0x0409, kUs, kUsShift}}));
  }
}

TEST_F(LayoutsTest, TablesFromLayoutDataOfTheTestsOwn) {
  ASSERT_TRUE(h_.ready());
  fake = FakeKeyboard();
  const HKL ru = H(0x04190419), us = H(0x04090409), intl = H(0xF0010409),
            none = H(0x04070407);
  // US International: dead accents, and a key typing two units.
  std::wstring intl_chars = kUs, intl_shift = kUsShift;
  intl_chars[0] = kDead, intl_shift[36] = kDead, intl_chars[1] = kTwoUnits;
  fake.rows = {{ru, {kRu, kRuShift}}, {us, {kUs, kUsShift}},
               {intl, {intl_chars, intl_shift}}};
  Fake({us, intl, ru, none});
  fake.current = ru;
  layout_functions.get_keyboard_layout = FakeCurrent;
  layout_key_functions = {FakeMap, FakeToUnicode};

  // The foreground window's layout first, the others in list order; a key
  // with no character keeps its place as a NUL unit.
  intl_chars[0] = L'\0', intl_shift[36] = L'\0', intl_chars[1] = L'y';
  EXPECT_EQ(Tables(h_), (std::vector<Row>{{1049, kRu, kRuShift},
                                          {0x0409, kUs, kUsShift},
                                          {0x0409, intl_chars, intl_shift},
                                          {0x0407, std::wstring(47, L'\0'),
                                           std::wstring(47, L'\0')}}));
  EXPECT_FALSE(fake.bad_call);
  EXPECT_EQ(fake.thread_asked,
            GetWindowThreadProcessId(GetForegroundWindow(), nullptr));

  // A foreground layout not in the list moves nothing.
  fake.current = none;
  Fake({us, ru});
  const auto tables = Tables(h_);
  ASSERT_EQ(tables.size(), 2u);
  EXPECT_EQ(std::get<0>(tables[0]), 0x0409);
}

TEST_F(LayoutsTest, NamesFromTheCatalogueMadeUnique) {
  ASSERT_TRUE(h_.ready());
  const std::wstring self = ProgramFolder() + L"\\layouts_tests.exe";
  Write(L"00000D01", L"Layout Display Name", REG_SZ, L"@" + self + L",-101");
  Write(L"00000D01", L"Layout Text", REG_SZ, L"Not This");
  Write(L"00000D02", L"Layout Display Name", REG_SZ,
        L"@%SystemRoot%\\system32\\input.dll,-5000");
  Write(L"00000D02", L"Layout Text", REG_SZ, L"Plain Text");
  Write(L"00000D03", L"Layout Text", REG_EXPAND_SZ, L"Other Type");
  Write(L"00000D04", L"Layout Text", REG_SZ, std::wstring(512, L'l'));
  // Exactly the buffer's size with no terminator stored; a unit more is
  // passed, as the registry adds a terminator that follows the data. The
  // display name that fails first leaves no NUL just past the buffer.
  Write(L"00000D05", L"Layout Display Name", REG_SZ, L"@input.dll,-5000");
  Write(L"00000D05", L"Layout Text", REG_SZ, std::wstring(513, L'x'), 1024);
  Write(L"0000E001", L"Layout Text", REG_SZ, L"Input Method");
  Write(L"A0010409", L"Layout Id", REG_SZ, L"00ab");
  Write(L"A0010409", L"Layout Text", REG_SZ, L"Variant");
  // Of three equal names, the first two get their language.
  Write(L"00000D06", L"Layout Text", REG_SZ, L"Same");
  Fake({H(0x0D010419), H(0x0D020419), H(0x0D030422), H(0x0D040407),
        H(0x0D050409), H(0xE0010411), H(0xF0AB0409), H(0xF0FE0C0C),
        H(0x00000BAD), H(0x0D060407), H(0x0D060419), H(0x0D060409)});
  EXPECT_EQ(Names(h_), (Strings{
                           "0D010419=Resolved Test Layout",
                           "0D020419=Plain Text",
                           "0D030422=Ukrainian (Ukraine)",
                           "0D040407=German (Germany)",
                           "0D050409=" + std::string(512, 'x'),
                           "E0010411=Input Method", "F0AB0409=Variant",
                           "F0FE0C0C=French (Canada)", "00000BAD=0BAD",
                           "0D060407=Same (German (Germany))",
                           "0D060419=Same (Russian (Russia))",
                           "0D060409=Same"}));
}

}  // namespace
