// The application's logic apart from the repair engine: text, layouts,
// settings, lessons, language models and the tray menu.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/key_layouts.h"
#include "core/language_model.h"
#include "core/repair_exceptions.h"
#include "core/settings.h"
#include "core/text_transform.h"
#include "core/text_utf.h"
#include "core/tray_model.h"

namespace korvex_app {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

std::string U8(const std::u32string& text) { return Utf8FromUtf32(text); }
std::u32string U32(const std::string& text) { return Utf32FromUtf8(text); }

TEST(TextTest, Utf8TransliterationCapitalsAndKeyByKeyConversion) {
  EXPECT_EQ(U32("a\xC3\x28z"), U"a\uFFFD(z");   // a broken sequence
  EXPECT_EQ(U32("\xE0\x80\xAF"), U"\uFFFD");     // an overlong form
  EXPECT_EQ(U32("\xED\xA0\x80"), U"\uFFFD");     // a surrogate
  EXPECT_EQ(U32("\xF0\x9F"), U"\uFFFD");         // cut off at the end
  EXPECT_EQ(U8(U32("привет 😀")), "привет 😀");
  EXPECT_EQ(Utf16Length(U"ab😀"), 4);
  EXPECT_EQ(Transliterate(U"привет мир"), U"privet mir");
  EXPECT_EQ(Transliterate(U"Shchuka, Zhuk!"), U"Щука, Жук!");
  EXPECT_EQ(Transliterate(U"ёж 2"), U"yozh 2");
  EXPECT_EQ(ToUpper(U"ёлка, über"), U"ЁЛКА, ÜBER");
  EXPECT_EQ(ToLower(U"ЁЛКА ЯМА"), U"ёлка яма");

  const KeyLayout us = UsLayout(), ru = RussianLayout();
  EXPECT_EQ(ConvertKeys(U"отладка", ru, us), U"jnkflrf");
  EXPECT_EQ(ConvertKeys(U"Ghbdtn VBH!", us, ru), U"Привет МИР!");
  EXPECT_EQ(ConvertKeys(U"ж€", ru, us), U";€");  // no key: kept

  // The system's tables, NUL units and all: the pair is of two languages.
  const std::string nul(1, '\0');
  auto table = [&](int32_t lang, const KeyLayout& layout) {
    std::string chars = U8(layout.chars), shift = U8(layout.shift_chars);
    chars.replace(0, chars.find('1'), nul);  // a dead key at position 0
    return EncodableValue(EncodableMap{
        {EncodableValue("langId"), EncodableValue(lang)},
        {EncodableValue("chars"), EncodableValue(chars)},
        {EncodableValue("shiftChars"), EncodableValue(shift)}});
  };
  const EncodableValue three(EncodableList{
      EncodableValue(7), table(0x0409, us), table(0x0809, us),
      EncodableValue(EncodableMap{{EncodableValue("langId"), EncodableValue(1)}}),
      table(0x0422, ru)});
  const std::vector<KeyLayout> parsed = ParseSystemLayouts(three);
  ASSERT_EQ(parsed.size(), 3u);
  const LayoutPair pair = ChooseLayouts(parsed);
  EXPECT_EQ(pair.first.lang_id, 0x0409);
  EXPECT_EQ(pair.second.lang_id, 0x0422);
  EXPECT_TRUE(ParseSystemLayouts(EncodableValue("x")).empty());
}

TEST(RepairExceptionsTest, KeepsTheNewestAndSkipsWhatItCannotRead) {
  using Verdict = RepairExceptions::Verdict;
  const std::string damaged("keep\nkeep a b\nconvert \x01x\n\0\xFF\nkeep ghbdtn\r\nmaybe x\n", 45);
  RepairExceptions exceptions = RepairExceptions::Parse(damaged, 2);
  EXPECT_EQ(exceptions.Format(), "keep ghbdtn\n");
  exceptions.Remember(U"xyz", Verdict::kConvert);
  exceptions.Remember(U"ghbdtn", Verdict::kKeep);  // the newest again
  exceptions.Remember(U"ntcn", Verdict::kConvert);
  EXPECT_EQ(exceptions.Format(), "keep ghbdtn\nconvert ntcn\n");
  EXPECT_EQ(RepairExceptions::Parse(exceptions.Format(), 2).Find(U"ntcn"),
            Verdict::kConvert);
  EXPECT_FALSE(exceptions.Find(U"xyz"));
}

TEST(SettingsTest, DefaultsUnlessReadableAndUpdatesKeepTheUsersLines) {
  const char odd_text[] =
      "autoRepair=maybe\nkeySounds\n=on\n\0\xFF=1\nkeySounds=?\nautoRepair";
  const Settings defaults = ParseSettings(std::string(odd_text, sizeof odd_text - 1));
  EXPECT_TRUE(defaults.auto_repair && !defaults.key_sounds);
  const Settings set = ParseSettings(
      "\xEF\xBB\xBF" "autoRepair = off  # no\r\n KeySounds=YES\n");
  EXPECT_TRUE(!set.auto_repair && set.key_sounds);

  const struct {
    std::string previous, updated;
  } cases[] = {
      {"", "autoRepair = off\nkeySounds = on\n"},
      // The mark, the line ends, comments and unknown names stay.
      {"\xEF\xBB\xBF# mine\r\nAutoRepair = on  # yes\r\nlearned = x\r\n",
       "\xEF\xBB\xBF# mine\r\nautoRepair = off  # yes\r\nlearned = x\r\n"
       "keySounds = on\r\n"},
      // Every line of a name agrees, unreadable or not; no end is added.
      {"keySounds=off\nkeysounds = maybe\nautoRepair=on",
       "keySounds = on\nkeySounds = on\nautoRepair = off"},
      {"# autoRepair = on", "# autoRepair = on\nautoRepair = off\nkeySounds = on\n"},
  };
  for (const auto& c : cases) {
    const std::string updated = UpdateSettingsText(c.previous, Settings{false, true});
    EXPECT_EQ(updated, c.updated) << c.previous;
    const Settings read = ParseSettings(updated);
    EXPECT_TRUE(!read.auto_repair && read.key_sounds) << c.previous;
  }
}

TEST(LanguageModelTest, BuildsLoadsAndRefusesDamagedFiles) {
  const std::vector<uint8_t> bytes = LanguageModel::Build(
      U"abcdeilnorst", {U"listen", U"silent", U"tinsel", U"stone", U"notes",
                        U"onset", U"x-ray"});
  const std::optional<LanguageModel> model = LanguageModel::Load(bytes);
  ASSERT_TRUE(model);
  EXPECT_TRUE(model->Knows(U"tinsel"));
  EXPECT_FALSE(model->Knows(U"x-ray"));  // letters outside the alphabet
  EXPECT_FALSE(model->Cost(U"lisx"));
  EXPECT_FALSE(model->Cost(U""));
  EXPECT_LT(*model->Cost(U"lines"), *model->Cost(U"nltsi"));
  // Cut from the end down to nothing; the first cut leaves the bucket sizes whole.
  for (size_t cut = 2; cut < bytes.size() + 97; cut += 97) {
    EXPECT_FALSE(LanguageModel::Load(
        std::vector<uint8_t>(bytes.begin(), bytes.end() - std::min(cut, bytes.size()))));
  }
}

// The notification-area menu as the tray plug-in receives it, and what the
// plug-in's calls back ask for.
const EncodableValue* Field(const EncodableValue& map, const char* key) {
  const auto& fields = std::get<EncodableMap>(map);
  const auto found = fields.find(EncodableValue(key));
  return found == fields.end() ? nullptr : &found->second;
}

EncodableValue Click(const EncodableValue& id) {
  return EncodableValue(EncodableMap{{EncodableValue("id"), id}});
}

TEST(TrayModelTest, MenuSaysTheStateAndClicksFindTheirItem) {
  const struct {
    const char *label, *type;
    TrayCommand command;
  } expected[] = {
      {"&Automatic repair", "checkbox", TrayCommand::kToggleAutoRepair},
      {"&Key sounds", "checkbox", TrayCommand::kToggleKeySounds},
      {"&Start with Windows", "checkbox", TrayCommand::kToggleAutostart},
      {"", "separator", TrayCommand::kNone},
      {"&Open settings folder", "normal", TrayCommand::kOpenSettingsFolder},
      {"", "separator", TrayCommand::kNone},
      {"&Quit", "normal", TrayCommand::kQuit},
  };
  // Two states, so that no check mark can show another switch's state.
  for (const TrayState& state : {TrayState{false, true, false}, TrayState{true, false, true}}) {
    const EncodableValue menu = TrayMenuMap(state);
    const auto& items = std::get<EncodableList>(*Field(menu, "items"));
    ASSERT_EQ(items.size(), 7u);
    const bool checks[] = {state.auto_repair, state.key_sounds, state.autostart};
    for (size_t i = 0; i < items.size(); ++i) {
      const EncodableValue& item = items[i];
      EXPECT_EQ(*Field(item, "label"), EncodableValue(expected[i].label)) << i;
      EXPECT_EQ(*Field(item, "type"), EncodableValue(expected[i].type)) << i;
      const EncodableValue* checked = Field(item, "checked");
      EXPECT_EQ(checked ? *checked : EncodableValue(),
                i < 3 ? EncodableValue(checks[i]) : EncodableValue()) << i;
      // The id the plug-in reports back leads to the item's command.
      EXPECT_EQ(TrayCommandFor("onTrayMenuItemClick", Click(*Field(item, "id"))),
                expected[i].command) << i;
    }
  }
  EXPECT_EQ(TrayToolTip(TrayState{false, true, false}),
            "Korvex: automatic repair off, key sounds on");

  EXPECT_EQ(TrayCommandFor("onTrayIconMouseDown", EncodableValue()),
            TrayCommand::kToggleAutoRepair);
  EXPECT_EQ(TrayCommandFor("onTrayIconRightMouseDown", EncodableValue()), TrayCommand::kShowMenu);
  // Clicks on nothing the menu holds, or not as the plug-in reports them.
  for (const EncodableValue& odd : {Click(EncodableValue(0)), Click(EncodableValue(8)),
                                    Click(EncodableValue("7")), EncodableValue(7),
                                    EncodableValue(EncodableMap{})}) {
    EXPECT_EQ(TrayCommandFor("onTrayMenuItemClick", odd), TrayCommand::kNone);
  }
  EXPECT_EQ(TrayCommandFor("onTrayIconMouseDownX", Click(EncodableValue(7))), TrayCommand::kNone);
}

}  // namespace
}  // namespace korvex_app
