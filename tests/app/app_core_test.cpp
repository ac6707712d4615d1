// The application's text logic: layouts, transformations, settings and the
// language models.

#include <gtest/gtest.h>

#include "core/key_layouts.h"
#include "core/language_model.h"
#include "core/layout_guess.h"
#include "core/repair_exceptions.h"
#include "core/settings.h"
#include "core/text_transform.h"
#include "core/text_utf.h"
#include "test_models.h"

namespace korvex_app {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

std::string U8(const std::u32string& text) { return Utf8FromUtf32(text); }
std::u32string U32(const std::string& text) { return Utf32FromUtf8(text); }

TEST(TextTest, Utf8AndUtf16Lengths) {
  EXPECT_EQ(U32("a\xC3\x28z"), U"a\uFFFD(z");   // a broken sequence
  EXPECT_EQ(U32("\xE0\x80\xAF"), U"\uFFFD");     // an overlong form
  EXPECT_EQ(U32("\xED\xA0\x80"), U"\uFFFD");     // a surrogate
  EXPECT_EQ(U32("\xF0\x9F"), U"\uFFFD");         // cut off at the end
  EXPECT_EQ(U8(U32("привет 😀")), "привет 😀");
  EXPECT_EQ(Utf16Length(U"ab😀"), 4);
}

TEST(TextTest, KeyByKeyConversionBetweenLayouts) {
  const KeyLayout us = UsLayout(), ru = RussianLayout();
  ASSERT_EQ(us.chars.size(), 47u);
  ASSERT_EQ(ru.shift_chars.size(), 47u);
  EXPECT_EQ(ConvertKeys(U"отладка", ru, us), U"jnkflrf");
  EXPECT_EQ(ConvertKeys(U"Ghbdtn VBH!", us, ru), U"Привет МИР!");
  EXPECT_EQ(ConvertKeys(U"ж€", ru, us), U";€");  // no key: kept

  // The system's tables, NUL units and all; one table is not a pair.
  const std::string nul(1, '\0');
  auto table = [&](int32_t lang, const KeyLayout& layout) {
    std::string chars = U8(layout.chars), shift = U8(layout.shift_chars);
    chars.replace(0, chars.find('1'), nul);  // a dead key at position 0
    return EncodableValue(EncodableMap{
        {EncodableValue("langId"), EncodableValue(lang)},
        {EncodableValue("chars"), EncodableValue(chars)},
        {EncodableValue("shiftChars"), EncodableValue(shift)}});
  };
  const EncodableValue only_us(EncodableList{table(0x0409, us)});
  EXPECT_EQ(ChooseLayouts(ParseSystemLayouts(only_us)).second.lang_id, 0x0419);
  const EncodableValue three(EncodableList{
      EncodableValue(7), table(0x0409, us), table(0x0809, us),
      EncodableValue(EncodableMap{{EncodableValue("langId"), EncodableValue(1)}}),
      table(0x0422, ru)});
  const std::vector<KeyLayout> parsed = ParseSystemLayouts(three);
  ASSERT_EQ(parsed.size(), 3u);
  EXPECT_EQ(parsed[0].chars[0], 0u);
  const LayoutPair pair = ChooseLayouts(parsed);
  EXPECT_EQ(pair.first.lang_id, 0x0409);
  EXPECT_EQ(pair.second.lang_id, 0x0422);
  EXPECT_TRUE(ParseSystemLayouts(EncodableValue("x")).empty());
}

TEST(TextTest, TransliterationAndCapitals) {
  EXPECT_EQ(Transliterate(U"privet mir"), U"привет мир");
  EXPECT_EQ(Transliterate(U"привет мир"), U"privet mir");
  EXPECT_EQ(Transliterate(U"Shchuka, Zhuk!"), U"Щука, Жук!");
  EXPECT_EQ(Transliterate(U"ёж 2"), U"yozh 2");
  EXPECT_EQ(ToUpper(U"ёлка, über"), U"ЁЛКА, ÜBER");
  EXPECT_EQ(ToLower(U"ЁЛКА ЯМА"), U"ёлка яма");
}

TEST(SettingsTest, DefaultsUnlessReadable) {
  const Settings defaults = ParseSettings("");
  EXPECT_TRUE(defaults.auto_repair);
  EXPECT_FALSE(defaults.key_sounds);
  const Settings set = ParseSettings(
      "\xEF\xBB\xBF" "autoRepair = off  # no\r\n KeySounds=YES\n");
  EXPECT_FALSE(set.auto_repair);
  EXPECT_TRUE(set.key_sounds);
  const char odd_text[] =
      "autoRepair=maybe\nkeySounds\n=on\n\0\xFF=1\nkeySounds=?\nautoRepair";
  const Settings odd = ParseSettings(std::string(odd_text, sizeof odd_text - 1));
  EXPECT_TRUE(odd.auto_repair);
  EXPECT_FALSE(odd.key_sounds);
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
  EXPECT_TRUE(RepairExceptions::Parse(std::string(300, '\xFF')).Format().empty());
}

TEST(SettingsTest, UpdatedTextKeepsTheUsersLines) {
  const Settings settings{false, true};
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
    const std::string updated = UpdateSettingsText(c.previous, settings);
    EXPECT_EQ(updated, c.updated) << c.previous;
    const Settings read = ParseSettings(updated);
    EXPECT_FALSE(read.auto_repair) << c.previous;
    EXPECT_TRUE(read.key_sounds) << c.previous;
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
  for (size_t length = 0; length < bytes.size(); length += 97) {
    EXPECT_FALSE(LanguageModel::Load(
        std::vector<uint8_t>(bytes.begin(), bytes.begin() + length)));
  }
  // Six words in the set, two bytes each after the bucket sizes.
  const size_t count_at = bytes.size() - 2 * 6 - 4 * 65536 - 4;
  std::vector<uint8_t> huge_count = bytes;
  huge_count[count_at + 3] = 0x40;
  EXPECT_FALSE(LanguageModel::Load(huge_count));
}

TEST(LayoutGuessTest, RepairsWrongLayoutWordsOnly) {
  const BuiltGuesser built;
  if (!built.guesser) {
    GTEST_SKIP() << "built without dictionaries";
  }
  const LayoutGuesser& guesser = *built.guesser;
  const KeyLayout us = UsLayout(), ru = RussianLayout();
  EXPECT_EQ(guesser.Decide(U"Ghbdtn,", us, ru), U"Привет,");
  EXPECT_EQ(guesser.Decide(U"vjcrdf", us, ru), U"москва");
  EXPECT_EQ(guesser.Decide(U"руддщб", ru, us), U"hello,");
  EXPECT_EQ(guesser.Decide(U"yt", us, ru), U"не");
  for (const char32_t* stays : {U"hello", U"hello.", U"world", U"ghbdtn2", U"gh",
                                U"x", U"it's", U"on", U"ну"}) {
    EXPECT_FALSE(guesser.Decide(stays, us, ru)) << U8(stays);
  }
  EXPECT_FALSE(guesser.Decide(U"привет", ru, us));
  EXPECT_FALSE(LayoutGuesser(&*built.english, nullptr).Decide(U"ghbdtn", us, ru));
}

}  // namespace
}  // namespace korvex_app
