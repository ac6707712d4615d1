// The layout catalogue and character tables through "korvex/automation", as
// Wine reports them (US, or Russian under russian_keymap.sh), from layout data
// of the test's own through the seams (Wine has one layout and never switches)
// and catalogue entries it writes; and the choice of a layout for a text.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include "common/text_conversion.h"
#include "injection/layout_switch.h"
#include "keyboard_harness.h"
#include "layouts/layout_tables.h"
#include "test_support.h"

using flutter_app::AppMessenger;
using namespace test_support;
using Strings = std::vector<std::string>;

namespace {

HKL H(uintptr_t bits) { return reinterpret_cast<HKL>(bits); }
const HKL kRussian = H(0x04190419), kEnglish = H(0x04090409),
          kDvorak = H(0xF0010409), kGerman = H(0x04070407);

// What the channel lists: "id=name" per layout, and per layout its
// language id, then "chars" and "shiftChars" in UTF-16.
using Row = std::tuple<int32_t, std::wstring, std::wstring>;
std::pair<Strings, std::vector<Row>> Listed(KeyboardHarness& h) {
  std::pair<Strings, std::vector<Row>> listed;
  h.RunApp([&](AppMessenger& app) {
    const EncodableValue names = h.Call(app, "listKeyboardLayouts").value;
    const EncodableValue tables = h.Call(app, "systemLayouts").value;
    for (const auto& entry : std::get<flutter::EncodableList>(names)) {
      const auto& map = std::get<EncodableMap>(entry);
      listed.first.push_back(StringOf(map, "id") + "=" + StringOf(map, "name"));
    }
    for (const auto& entry : std::get<flutter::EncodableList>(tables)) {
      const auto& map = std::get<EncodableMap>(entry);
      listed.second.emplace_back(IntOf(map, "langId"), Utf16FromUtf8(StringOf(map, "chars")),
                                 Utf16FromUtf8(StringOf(map, "shiftChars")));
    }
  });
  return listed;
}

const std::wstring kUs = L"`1234567890-=qwertyuiop[]\\asdfghjkl;'zxcvbnm,./";
const std::wstring kUsShift = L"~!@#$%^&*()_+QWERTYUIOP{}|ASDFGHJKL:\"ZXCVBNM<>?";
const std::wstring kRu = L"ё1234567890-=йцукенгшщзхъ\\фывапролджэячсмитьбю.";
const std::wstring kRuShift = L"Ё!\"№;%:?*()_+ЙЦУКЕНГШЩЗХЪ/ФЫВАПРОЛДЖЭЯЧСМИТЬБЮ,";
constexpr wchar_t kDead = 1, kTwoUnits = 2;

using Post = std::tuple<HWND, UINT, WPARAM, LPARAM>;

// Layout data of the test's own: per layout the 47 keys' units in the order
// of the product's scan codes (the VK is the scan code + 0x100, so a mix-up
// of the two shows), and for the choice the key scan per layout and unit.
struct FakeKeyboard {
  std::vector<HKL> installed;
  int fetch_limit = -1;  // the fetch hands out at most this many
  HKL current = kRussian;
  HKL lands_on = nullptr;  // where a post leaves the thread; null: as asked
  int polls_to_switch = 0;
  HKL pending = nullptr;
  std::vector<DWORD> threads_asked;
  std::vector<Post> posts;
  std::map<std::pair<HKL, WCHAR>, SHORT> keys;
  std::map<HKL, std::pair<std::wstring, std::wstring>> rows;
  bool bad_call = false;  // other flags or key state than asked for
} fake;

// The buffer holds more than is handed out, as it may.
int WINAPI FakeList(int count, HKL* list) {
  const int n = std::min(count, static_cast<int>(fake.installed.size()));
  if (count == 0) return static_cast<int>(fake.installed.size());
  std::copy_n(fake.installed.begin(), n, list);
  return fake.fetch_limit >= 0 ? std::min(n, fake.fetch_limit) : n;
}
HKL WINAPI FakeCurrent(DWORD thread) {
  fake.threads_asked.push_back(thread);
  if (fake.pending && fake.polls_to_switch-- <= 0) {
    fake.current = std::exchange(fake.pending, nullptr);
  }
  return fake.current;
}
SHORT WINAPI FakeScan(WCHAR unit, HKL layout) {
  auto found = fake.keys.find({layout, unit});
  return found == fake.keys.end() ? SHORT{-1} : found->second;
}
BOOL WINAPI FakePost(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  fake.posts.push_back({window, message, wparam, lparam});
  fake.pending = fake.lands_on ? fake.lands_on : reinterpret_cast<HKL>(lparam);
  return TRUE;
}
UINT WINAPI FakeMap(UINT scan, UINT type, HKL layout) {
  fake.bad_call |= type != MAPVK_VSC_TO_VK_EX;
  return fake.rows.count(layout) ? scan + 0x100 : 0;
}
int WINAPI FakeToUnicode(UINT vk, UINT scan, const BYTE* state, LPWSTR out,
                         int size, UINT flags, HKL layout) {
  for (int k = 0; k < 256; ++k) fake.bad_call |= k != VK_SHIFT && state[k];
  fake.bad_call |= flags != 4 || vk != scan + 0x100 || size < 2;
  const auto& row = fake.rows[layout];
  const auto at = std::ranges::find(kCharacterKeyScanCodes, scan) - kCharacterKeyScanCodes.begin();
  const wchar_t unit = (state[VK_SHIFT] ? row.second : row.first)[at];
  if (unit == kDead) return -1;
  if (unit == kTwoUnits) return out[0] = L'x', out[1] = L'y', 2;
  out[0] = unit;
  return unit ? 1 : 0;
}

// |layout| types each unit of |units| with the modifier bits |state|.
void Give(HKL layout, const std::wstring& units, unsigned state = 0) {
  for (wchar_t unit : units) fake.keys[{layout, unit}] = SHORT((state << 8) | 0x41);
}

class LayoutsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(h_.ready()); }
  void TearDown() override {
    layout_functions = saved_layouts_;
    layout_key_functions = saved_keys_;
    for (const std::wstring& klid : written_) {
      RegDeleteTreeW(HKEY_LOCAL_MACHINE, (kCatalogue + klid).c_str());
    }
  }
  // Every seam fed by |fake|: Russian is current and types Cyrillic,
  // English types Latin.
  void Fake(std::vector<HKL> installed) {
    fake = FakeKeyboard();
    fake.installed = std::move(installed);
    Give(kRussian, L"абвгдеёжзийклмнопрстуфхцчшщъыьэюя ");
    Give(kEnglish, L"abcdefghijklmnopqrstuvwxyz ");
    layout_functions = {FakeList, FakeCurrent, FakeScan, FakePost};
    layout_key_functions = {FakeMap, FakeToUnicode};
  }
  // |bytes| 0: the whole string with its terminator.
  void Write(const std::wstring& klid, const wchar_t* value, const std::wstring& data,
             DWORD type = REG_SZ, DWORD bytes = 0) {
    written_.push_back(klid);
    EXPECT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, (kCatalogue + klid).c_str(), value, type,
                              data.c_str(), bytes ? bytes : DWORD(data.size() + 1) * 2),
              ERROR_SUCCESS);
  }

  const std::wstring kCatalogue = L"SYSTEM\\CurrentControlSet\\Control\\Keyboard Layouts\\";
  KeyboardHarness h_;
  std::vector<std::wstring> written_;
  KeyboardLayoutFunctions saved_layouts_ = layout_functions;
  LayoutKeyFunctions saved_keys_ = layout_key_functions;
};

TEST_F(LayoutsTest, RealLayoutAsWineReportsIt) {
  // A fresh prefix has no catalogue: only the locale's layout is listed.
  const bool russian = GetEnvironmentVariableW(L"KORVEX_RUSSIAN_PASS", nullptr, 0) != 0;
  // KOI8-R has no numero sign: Wine gives nothing for Shift+3.
  std::wstring ru_shift = kRuShift;
  ru_shift[3] = L'\0';
  const auto [names, tables] = Listed(h_);
  EXPECT_EQ(names, Strings{russian ? "04190419=Russian (Russia)"
                                   : "04090409=English (United States)"});
  EXPECT_EQ(tables, (std::vector<Row>{russian ? Row{1049, kRu, ru_shift}
                                              : Row{0x0409, kUs, kUsShift}}));
}

TEST_F(LayoutsTest, TablesFromLayoutDataOfTheTestsOwn) {
  Fake({kEnglish, kDvorak, kRussian, kGerman});
  // US International: dead accents, and a key typing two units.
  std::wstring intl_chars = kUs, intl_shift = kUsShift;
  intl_chars[0] = kDead, intl_shift[36] = kDead, intl_chars[1] = kTwoUnits;
  fake.rows = {{kRussian, {kRu, kRuShift}}, {kEnglish, {kUs, kUsShift}},
               {kDvorak, {intl_chars, intl_shift}}};

  // The foreground window's layout first, the others in list order; a key
  // with no character keeps its place as a NUL unit.
  intl_chars[0] = L'\0', intl_shift[36] = L'\0', intl_chars[1] = L'y';
  const std::wstring none(47, L'\0');
  EXPECT_EQ(Listed(h_).second, (std::vector<Row>{{1049, kRu, kRuShift},
                                                 {0x0409, kUs, kUsShift},
                                                 {0x0409, intl_chars, intl_shift},
                                                 {0x0407, none, none}}));
  EXPECT_FALSE(fake.bad_call);
  EXPECT_EQ(fake.threads_asked,
            std::vector<DWORD>{GetWindowThreadProcessId(GetForegroundWindow(), nullptr)});

  // A foreground layout not in the list moves nothing.
  fake.current = kGerman;
  fake.installed = {kEnglish, kRussian};
  EXPECT_EQ(std::get<0>(Listed(h_).second.at(0)), 0x0409);
}

TEST_F(LayoutsTest, ChoiceAsksForAStrictlyBetterLayoutAndWaitsForIt) {
  // Scores count units reachable with Shift, Ctrl and Alt in any mix; no
  // higher modifier, no missing key. Each half of a surrogate pair counts.
  Fake({kRussian, kEnglish});
  const std::pair<const wchar_t*, unsigned> modifiers[] = {
      {L"A", 0x01}, {L"€", 0x07}, {L"ß", 0x08}, {L"µ", 0x10}, {L"¶", 0x80}, {L"\xD83D\xDE00", 0}};
  for (const auto& [unit, state] : modifiers) Give(kDvorak, unit, state);
  EXPECT_EQ(CountTypeableChars(L"A€ßµ¶\xD83D\xDE00\xD83D\xDE00", kDvorak), 6);

  // The installed layouts, how many the fetch hands out (-1: all), what
  // Dvorak types, the text, and the layout chosen; Russian is current.
  const std::tuple<std::vector<HKL>, int, const wchar_t*, const wchar_t*, HKL> cases[] = {
      {{kRussian, kEnglish}, -1, L"", L"hello world", kEnglish},
      // None listed, none handed out by the fetch, the better one not among
      // those handed out.
      {{}, -1, L"", L"hello", kRussian},
      {{kRussian, kEnglish}, 0, L"", L"hello", kRussian},
      {{kRussian, kDvorak, kEnglish}, 2, L"", L"hello", kRussian},
      // The current one counts even when unlisted.
      {{kEnglish}, -1, L"", L"мир", kRussian},
      // A tie with the current one keeps it; of two equally better ones the
      // earlier in the list wins, unless a later one is strictly better.
      {{kEnglish, kRussian}, -1, L"", L" ", kRussian},
      {{kRussian, kDvorak, kEnglish}, -1, L"tie", L"tie", kDvorak},
      {{kEnglish, kRussian, kDvorak}, -1, L"tie!", L"tie!", kDvorak}};
  for (const auto& [installed, fetch_limit, dvorak, text, chosen] : cases) {
    Fake(installed);
    fake.fetch_limit = fetch_limit;
    Give(kDvorak, dvorak);
    EXPECT_EQ(SelectLayoutForText(text), chosen) << text;
    // Only a change is asked for, at the foreground thread's focus.
    const Post asked(h_.edit(), 0x50, 0, reinterpret_cast<LPARAM>(chosen));
    EXPECT_EQ(fake.posts, std::vector<Post>(chosen == kRussian ? 0 : 1, asked)) << text;
    for (DWORD thread : fake.threads_asked) EXPECT_EQ(thread, GetCurrentThreadId());
  }

  // A switch that shows after a few polls is waited for, no longer. One that
  // never shows, or lands on another layout, is polled for a while: then the
  // thread's layout is what the text is typed with. Polls, not time, count.
  const std::tuple<int, HKL, HKL> waits[] = {
      {3, nullptr, kEnglish}, {0, kRussian, kRussian}, {0, kDvorak, kDvorak}};
  for (const auto& [polls, lands_on, typed_with] : waits) {
    Fake({kRussian, kEnglish, kDvorak});
    fake.polls_to_switch = polls;
    fake.lands_on = lands_on;
    EXPECT_EQ(SelectLayoutForText(L"hello"), typed_with);
    const size_t asked = fake.threads_asked.size();
    EXPECT_TRUE(lands_on ? asked >= 20 && asked <= 150 : asked < 8) << asked;
  }

  // With nothing focused the window itself is asked.
  SetFocus(nullptr);
  Fake({kRussian, kEnglish});
  EXPECT_EQ(SelectLayoutForText(L"hello"), kEnglish);
  ASSERT_EQ(fake.posts.size(), 1u);
  EXPECT_EQ(std::get<0>(fake.posts[0]), GetParent(h_.edit()));

  // No window in front: the current layout is kept without a wait.
  ShowWindow(GetParent(h_.edit()), SW_HIDE);
  ASSERT_TRUE(PumpUntil([] { return GetForegroundWindow() == nullptr; }, 2000));
  Fake({kRussian, kEnglish});
  EXPECT_EQ(SelectLayoutForText(L"hello"), kRussian);
  EXPECT_TRUE(fake.posts.empty());
  EXPECT_EQ(fake.threads_asked, std::vector<DWORD>{0});
}

TEST_F(LayoutsTest, NamesFromTheCatalogueMadeUnique) {
  Write(L"00000D01", L"Layout Display Name", L"@" + ProgramFolder() + L"\\layouts_tests.exe,-101");
  Write(L"00000D01", L"Layout Text", L"Not This");
  Write(L"00000D03", L"Layout Text", L"Other Type", REG_EXPAND_SZ);
  Write(L"00000D04", L"Layout Text", std::wstring(512, L'l'));
  // Exactly the buffer's size, no terminator stored (the registry adds one
  // past the data); the display name fails first, and leaves no NUL past it.
  Write(L"00000D05", L"Layout Display Name", L"@input.dll,-5000");
  Write(L"00000D05", L"Layout Text", std::wstring(513, L'x'), REG_SZ, 1024);
  Write(L"0000E001", L"Layout Text", L"Input Method");
  Write(L"A0010409", L"Layout Id", L"00ab");
  Write(L"A0010409", L"Layout Text", L"Variant");
  // Of three equal names, the first two get their language.
  Write(L"00000D06", L"Layout Text", L"Same");
  Fake({H(0x0D010419), H(0x0D030422), H(0x0D040407), H(0x0D050409), H(0xE0010411),
        H(0xF0AB0409), H(0xF0FE0C0C), H(0x00000BAD), H(0x0D060407), H(0x0D060419),
        H(0x0D060409)});
  EXPECT_EQ(Listed(h_).first, (Strings{"0D010419=Resolved Test Layout",
                                       "0D030422=Ukrainian (Ukraine)", "0D040407=German (Germany)",
                                       "0D050409=" + std::string(512, 'x'), "E0010411=Input Method",
                                       "F0AB0409=Variant", "F0FE0C0C=French (Canada)",
                                       "00000BAD=0BAD", "0D060407=Same (German (Germany))",
                                       "0D060419=Same (Russian (Russia))", "0D060409=Same"}));
}

}  // namespace
