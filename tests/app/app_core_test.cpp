// The application's logic: text, layouts, settings, lessons, language
// models, the tray menu, and the repair engine's decisions.

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "core/key_layouts.h"
#include "core/language_model.h"
#include "core/layout_guess.h"
#include "core/repair_engine.h"
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

// A map as the channels carry it.
EncodableValue Record(std::initializer_list<std::pair<const char*, EncodableValue>> fields) {
  EncodableMap record;
  for (const auto& [name, value] : fields) record.emplace(EncodableValue(name), value);
  return EncodableValue(record);
}

TEST(TextTest, Utf8TransliterationCapitalsAndKeyByKeyConversion) {
  EXPECT_EQ(U32("a\xC3\x28z"), U"a\uFFFD(z");   // a broken sequence
  EXPECT_EQ(U32("\xE0\x80\xAF"), U"\uFFFD");     // an overlong form
  EXPECT_EQ(U32("\xED\xA0\x80"), U"\uFFFD");     // a surrogate
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
  auto table = [&](int32_t lang, const KeyLayout& layout) {
    std::string chars = U8(layout.chars), shift = U8(layout.shift_chars);
    chars.replace(0, chars.find('1'), 1, '\0');  // a dead key at position 0
    return Record({{"langId", EncodableValue(lang)}, {"chars", EncodableValue(chars)},
                   {"shiftChars", EncodableValue(shift)}});
  };
  const EncodableValue three(EncodableList{
      EncodableValue(7), table(0x0409, us), table(0x0809, us),
      Record({{"langId", EncodableValue(1)}}),
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

EncodableValue Click(const EncodableValue& id) { return Record({{"id", id}}); }

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
      EXPECT_EQ(*Field(items[i], "label"), EncodableValue(expected[i].label)) << i;
      EXPECT_EQ(*Field(items[i], "type"), EncodableValue(expected[i].type)) << i;
      const EncodableValue* checked = Field(items[i], "checked");
      EXPECT_EQ(checked ? *checked : EncodableValue(),
                i < 3 ? EncodableValue(checks[i]) : EncodableValue()) << i;
      // The id the plug-in reports back leads to the item's command.
      EXPECT_EQ(TrayCommandFor("onTrayMenuItemClick", Click(*Field(items[i], "id"))),
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

// The models the build made from the dictionaries, if any, which the repairs
// need; they are loaded once, as that takes a while.
std::optional<LanguageModel> BuiltModel([[maybe_unused]] const char* language) {
#ifdef KORVEX_MODEL_DIR
  std::ifstream file(std::string(KORVEX_MODEL_DIR) + "/korvex_" + language + ".kvlm",
                     std::ios::binary);
  return LanguageModel::Load(std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {}));
#else
  return std::nullopt;
#endif
}
const std::optional<LanguageModel> kEnglish = BuiltModel("en"), kRussian = BuiltModel("ru");

class RepairTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!kEnglish || !kRussian) GTEST_SKIP() << "built without dictionaries";
  }
  const LayoutGuesser guesser{kEnglish ? &*kEnglish : nullptr, kRussian ? &*kRussian : nullptr};
};

// A host that behaves like an edit control with a clipboard.
class EditHost : public HostPort {
 public:
  std::u32string text;  // the caret is at the end
  size_t selected = 0;  // units at the end that are selected
  std::string clipboard = "user's", clipboard_when_typed, saved_exceptions;
  int64_t change_count = 10, now = 1000;
  std::optional<std::string> uia;
  std::optional<bool> password = false;
  size_t refuse_from_call = 0;  // from this call on (1-based) nothing is typed
  int32_t timed_out_hold = 0;
  std::vector<std::string> calls;
  std::map<int32_t, std::u32string> held_chars;  // typed when let go
  std::optional<std::u32string> pending = std::u32string();
  bool capturing = false;

  bool Backspace(int count) override {
    calls.push_back("backspace " + std::to_string(count));
    if (Refused()) return false;
    if (selected > 0) {
      text.erase(text.size() - selected);
      selected = 0;
      --count;
    }
    // UTF-16 units, as the system counts them.
    while (count > 0 && !text.empty()) {
      count -= Utf16Length(text.substr(text.size() - 1));
      text.pop_back();
    }
    return true;
  }
  bool TypeText(const std::string& typed) override {
    calls.push_back("typeText " + typed);
    clipboard_when_typed = clipboard;
    if (Refused()) return false;
    text.erase(text.size() - selected);
    selected = 0;
    text += Utf32FromUtf8(typed);
    return true;
  }
  void ReleaseHeldKey(int32_t id) override {
    text += held_chars[id];
  }
  bool ExtendHold(int32_t id) override {
    calls.push_back("extendHold " + std::to_string(id));
    return id != timed_out_hold;
  }
  void ShowHud(const std::string& shown) override { calls.push_back("hud " + shown); }
  std::optional<bool> IsPasswordFieldFocused() override { return password; }
  std::optional<std::string> UiaSelectedText() override { return uia; }
  void SaveClipboard() override { saved = clipboard; }
  void RestoreClipboard() override { clipboard = saved; }
  void Copy() override {
    if (selected > 0) {
      clipboard = U8(text.substr(text.size() - selected));
      ++change_count;
    }
  }
  std::optional<int64_t> ClipboardChangeCount() override { return change_count; }
  std::optional<std::string> ReadClipboardText() override { return clipboard; }
  std::vector<KeyLayout> SystemLayouts() override { return {UsLayout()}; }
  void SetTypingCapture(bool enabled) override { capturing = enabled; }
  std::optional<std::u32string> PendingTyping() override { return pending; }
  void Wait(int ms) override { now += ms; }
  int64_t NowMs() override { return now; }
  void Note(const std::string&, const std::string&) override {}
  void SaveExceptions(const std::string& text) override { saved_exceptions = text; }

 private:
  bool Refused() const { return refuse_from_call && calls.size() >= refuse_from_call; }
  std::string saved;
};

// |held|: the id of a key held back until the application lets it go;
// |chord|: with Control and Shift.
EncodableValue KeyDown(int32_t keycode, const std::string& chars,
                       int64_t held = 0, bool chord = false) {
  return Record({{"type", EncodableValue("keyDown")}, {"keycode", EncodableValue(keycode)},
                 {"chars", EncodableValue(chars)}, {"held", EncodableValue(held)},
                 {"control", EncodableValue(chord)}, {"shift", EncodableValue(chord)}});
}
EncodableValue Modifier(int32_t keycode, bool down, bool control = false, bool alt = false) {
  return Record({{"type", EncodableValue("modifier")}, {"keycode", EncodableValue(keycode)},
                 {"down", EncodableValue(down)}, {"control", EncodableValue(control)},
                 {"alt", EncodableValue(alt)}});
}

struct Session {
  explicit Session(const LayoutGuesser* guesser = nullptr) : engine(host, guesser) {}
  EditHost host;
  RepairEngine engine;

  // "\n" and "\t" are a held Enter and Tab, "\r" an Enter that was not held;
  // capitals come with Shift, or without it after "⇪" (Caps Lock) until the
  // next blank.
  void Type(const std::string& utf8) {
    bool caps_lock = false;
    for (char32_t c : Utf32FromUtf8(utf8)) {
      caps_lock = c == U'⇪' || (caps_lock && c != U' ');
      if (c == U'⇪') continue;
      const bool shift = !caps_lock && ToLower(c) != c;
      if (shift) Shift(true);
      if (c == U'\n' || c == U'\t') {
        const int32_t id = static_cast<int32_t>(host.held_chars.size()) + 100;
        host.held_chars[id] = c;
        engine.OnRecord(KeyDown(c == U'\t' ? 0x09 : 0x0D, c == U'\t' ? "\t" : "\r", id), host.now);
        continue;
      }
      const int32_t keycode = c == U' ' ? 0x20 : c == U'\r' ? 0x0D : 0x41;
      host.text += c;
      engine.OnRecord(KeyDown(keycode, Utf8FromUtf32(std::u32string(1, c))), host.now);
      if (shift) Shift(false);
      host.now += 60;
    }
  }
  // Left Shift pressed or let go |after_ms| later.
  void Shift(bool down, int after_ms = 0, bool control = false) {
    engine.OnRecord(Modifier(0xA0, down, control), host.now += after_ms);
  }
  void Tap(int press_after = 0, int release_after = 0) {
    Shift(true, press_after);
    Shift(false, release_after);
  }
  void ShiftTaps(int gap_ms = 100) {
    for (int tap = 0; tap < 2; ++tap, host.now += gap_ms) Tap(20, 20);
  }
  void Chord(int32_t letter) {
    engine.OnRecord(Modifier(0xA2, true, true), host.now);
    engine.OnRecord(KeyDown(letter, "", 0, true), host.now);
  }
};

TEST(RepairEngineTest, DoubleLeftShiftConvertsTheLastWordAndTakesItBack) {
  Session run;
  run.Type("wrong отладкк");
  run.host.text.pop_back();
  run.engine.OnRecord(KeyDown(0x08, "\b"), run.host.now);
  run.Type("а");
  // A Shift let go too long before is not the first of the two taps.
  run.Tap(0, 600);
  for (const char32_t* expected : {U"wrong jnkflrf", U"wrong отладка", U"wrong jnkflrf"}) {
    run.ShiftTaps();
    EXPECT_EQ(run.host.text, expected);
  }
  // After a space the last word and its space are typed again.
  run.Type(" ntcn ");
  run.ShiftTaps();
  EXPECT_EQ(run.host.text, U"wrong jnkflrf тест ");
  // Typed with Caps Lock on, the word is converted in capitals.
  run.Type("⇪[KT,");
  run.ShiftTaps();
  EXPECT_EQ(run.host.text, U"wrong jnkflrf тест ХЛЕБ");

  // A second Shift held too long, a capital typed between the taps, End, a
  // chord, a click, another window: nothing is converted.
  Session other;
  other.Type("ntcn");
  other.Tap(100, 20);
  other.Tap(100, 600);
  other.Type("X");
  other.Tap();
  other.engine.OnRecord(KeyDown(0x23, ""), other.host.now);  // End
  other.ShiftTaps();
  other.Type("abc");
  other.Shift(true, 0, true);
  other.Shift(false);
  other.Tap();
  for (const char* type : {"click", "appChanged"}) {
    other.Type("d");
    other.engine.OnRecord(Record({{"type", EncodableValue(type)}}), other.host.now);
    other.ShiftTaps();
  }
  EXPECT_EQ(other.host.text, U"ntcnXabcdd");
  EXPECT_TRUE(other.host.calls.empty());
}

TEST(RepairEngineTest, HotKeysTransformTheSelectionOrTheLastWordAndKeepTheClipboard) {
  Session run;
  run.host.text = U"privet mir";
  run.host.selected = 10;
  run.Chord('T');
  EXPECT_EQ(run.host.text, U"привет мир");
  // Back before the new text shows: whoever sees the text sees the user's.
  EXPECT_EQ(run.host.clipboard_when_typed, "user's");

  // Nothing selected: the copy changes nothing, the last word is taken. A
  // Backspace after a replacement starts afresh: the program may have set
  // the text itself meanwhile.
  run.host.text.clear();
  run.Type("moskva");
  const int64_t before = run.host.now;
  run.Chord('T');
  EXPECT_EQ(run.host.text, U"москва");
  EXPECT_GE(run.host.now - before, RepairEngine::kCopyWaitMs);
  run.host.text.clear();
  run.engine.OnRecord(KeyDown(0x08, "\b"), run.host.now);
  run.Type("moskva");
  run.Chord('T');
  EXPECT_EQ(run.host.text, U"москва");

  // The selection as UI Automation reads it; the clipboard is not touched.
  run.host.uia = "abc";
  run.host.text = U"xabc";
  run.host.clipboard = "kept";
  run.Chord('U');
  EXPECT_EQ(run.host.text, U"xabcABC");
  EXPECT_EQ(run.host.clipboard, "kept");
}

TEST_F(RepairTest, AutomaticRepairAtWordEndsAnswersEveryHeldKey) {
  Session run(&guesser);
  EditHost& host = run.host;
  run.Type("ghbdtn hello ");
  EXPECT_EQ(host.text, U"привет hello ");
  EXPECT_EQ(host.calls[2], "hud ghbdtn \u2192 привет");

  // Held keys: more time is asked for, the repair is typed, then the key is
  // let go. Not in a password field.
  run.Type("vbh\nworld\t");
  host.password = true;
  run.Type("ghbdtn\n");
  EXPECT_EQ(host.text, U"привет hello мир\nworld\tghbdtn\n");

  // Keys typed before the capture began stay after the repaired word; when
  // what they did is unknown, nothing is replaced.
  host.password = false;
  host.text.clear();
  run.Type("ghbdtn");
  host.text += U" v";
  host.pending = U"v";
  run.engine.OnRecord(KeyDown(0x20, " "), host.now);
  EXPECT_EQ(host.text, U"привет v");
  host.pending.reset();
  run.Type(" ntcn ");
  EXPECT_EQ(host.text, U"привет v ntcn ");
  EXPECT_FALSE(host.capturing);

  // A hold its timer let go of, a host that could not tell a password
  // field, a host that refused the erase (another window came in front):
  // nothing more is typed, and every held key is answered.
  Session refused(&guesser);
  refused.host.timed_out_hold = 100;
  refused.Type("ghbdtn\n");
  refused.host.password.reset();
  refused.Type("ghbdtn ");
  refused.host.password = false;
  refused.host.refuse_from_call = refused.host.calls.size() + 1;
  refused.Type("ghbdtn ghbdtn\n");
  EXPECT_EQ(refused.host.text, U"ghbdtn\nghbdtn ghbdtn ghbdtn\n");
  EXPECT_EQ(refused.host.calls.back(), "backspace 6");
  EXPECT_FALSE(refused.host.capturing);

  // Switched off, or not a map: nothing is typed.
  run.engine.set_auto_repair(false);
  const size_t calls = host.calls.size();
  host.pending = std::u32string();
  run.Type(" ghbdtn ");
  run.engine.OnRecord(EncodableValue(3), host.now);
  run.engine.OnRecord(EncodableValue(EncodableMap{}), host.now);
  EXPECT_EQ(host.calls.size(), calls);
}

TEST_F(RepairTest, WordsEndAsTheUserMeantThemWhatEverSurroundsThem) {
  // What was typed, and what the field then holds (nothing: as typed).
  const std::pair<const char*, const char32_t*> cases[] = {
      // Short words follow the words before them.
      {"ghbdtn b vbh ", U"привет и мир "},
      {"руддщ ф цщкдв ", U"hello a world "},
      {"b vbh ", U"и мир "},
      // Punctuation on both layouts, and the key that ended the word.
      {"\"The ghbhjls? ", U"\"The природы, "},
      {"hfpevjv/\n", U"разумом.\n"},
      {"ghbdtn😀 ", U"привет😀 "},
      // Words joined by punctuation, initials, a number and a hyphen.
      {"ghbdtn L;/Cdban jy///cjghjnbdkznmcz 10-ktnybv ",
       U"привет Дж.Свифт он...сопротивляться 10-летним "},
      // First in a field, a word that reads as nothing of its language, a
      // quote's key, the other layout's comma; a contraction anywhere.
      {"Hfq ", U"Рай "},
      {"привет Шеэы ", U"привет It's "},
      {"ЭШ ", U"\"I "},
      {"Скшещб ", U"Crito, "},
      // Stays: capitals, short abbreviations, punctuation inside, code, a
      // word one key off its own language's, a common word among words of
      // its language.
      {"Hello Яблоко ЯБЛОКО The ", nullptr},
      {"ths pls dns csv ", nullptr},
      {"U.S. a.m. www.example.ru snake_case CamelCase user@example.com ", nullptr},
      {"ghbdtn -lt %d \\n &c C# ", U"привет -lt %d \\n &c C# "},
      {"кшгда ", nullptr},
      {"ОПИСАНИЕ BEL The ", nullptr},
      // Caps Lock on: the keys read as without it, the word given back in
      // capitals.
      {"ghbdtn ⇪[KT, ", U"привет ХЛЕБ "},
      // Words with digits, and words too short to tell.
      {"ghbdtn2 gh x it's ", nullptr},
      // An Enter that was not held is in the text already.
      {"ghbdtn\r", nullptr},
  };
  for (const auto& [typed, text] : cases) {
    Session run(&guesser);
    run.Type(typed);
    EXPECT_EQ(U8(run.host.text), text ? U8(text) : typed) << typed;
  }
  // A language without a model is never judged.
  EXPECT_FALSE(LayoutGuesser(&*kEnglish, nullptr).Decide(U"ghbdtn", UsLayout(), RussianLayout()));
}

TEST_F(RepairTest, TakingARepairBackOrConvertingByHandIsRemembered) {
  Session run(&guesser);
  run.Type("ghbdtn ");
  // Taken back, given again, taken back: the text follows, and the last
  // word counts.
  for (const char* saved : {"keep ghbdtn\n", "", "keep ghbdtn\n"}) {
    run.ShiftTaps();
    EXPECT_EQ(run.host.text, *saved ? U"ghbdtn " : U"привет ");
    EXPECT_EQ(run.host.saved_exceptions, saved);
  }
  // The word kept after the undo is the whole word.
  run.Chord('U');
  EXPECT_EQ(run.host.text, U"GHBDTN ");
  run.Type("ghbdtn xyz");
  run.ShiftTaps();
  run.Type(" xyz ");
  EXPECT_EQ(run.host.text, U"GHBDTN ghbdtn чня чня ");

  // Loaded from the file, the lessons hold in a new field too.
  Session later(&guesser);
  later.engine.set_exceptions(RepairExceptions::Parse(run.host.saved_exceptions));
  later.Type("ghbdtn xyz ");
  EXPECT_EQ(later.host.text, U"ghbdtn чня ");
}

TEST(RepairEngineTest, PendingTextKnowsWhatKeysDidToTheText) {
  EXPECT_EQ(PendingText(KeyDown(0x41, "ф")), U"ф");
  EXPECT_EQ(PendingText(Modifier(0xA0, true)), U"");
  // Alt or Win pressed: perhaps on the way to another window.
  EXPECT_FALSE(PendingText(Modifier(0xA4, true, false, true)));
  EXPECT_EQ(PendingText(KeyDown(0x0D, "\r", 3)), U"");
  for (const EncodableValue& unknown :
       {KeyDown(0x08, "\b"), KeyDown(0x0D, "\r"), KeyDown(0x43, "", 0, true),
        KeyDown(0x24, ""), Record({{"type", EncodableValue("click")}}), EncodableValue()}) {
    EXPECT_FALSE(PendingText(unknown));
  }
}

}  // namespace
}  // namespace korvex_app
