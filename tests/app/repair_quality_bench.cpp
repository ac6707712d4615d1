// The repair on real prose the models never saw: every text typed key by key
// through RepairEngine into a fake edit control (Shift as modifier records,
// Enter and Tab held), each text in a field of its own. The five runs: each
// language typed on its layout, on the other one, and on its own with one
// letter in 200 replaced by a neighbouring key (four times, with other
// letters each time). A sixth run types as a user meets the product: on the
// other layout until a word is repaired, then on the layout the repair
// switched the window to. Prints the rates, examples of each kind of
// failure, the decision time at a word end and the models' load time.
// usage: repair_quality_bench MODEL_DIR [en|ru[-NAME] FILE...]...
// A file is a gettext catalogue (".mo": each translation a text) or plain
// text split at lines holding "%" alone (fortune files). A file's half
// ("tune" or "check") is fixed by its name, so that rules tuned on one half
// are judged on the other.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "core/repair_engine.h"
#include "core/text_transform.h"
#include "core/text_utf.h"

using namespace korvex_app;
using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTypoPasses = 4;

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
}

// An edit control: keys land at the end, held keys when let go.
class FakeEdit : public HostPort {
 public:
  std::u32string text;
  std::map<int32_t, std::u32string> held;
  std::u32string last_typed;  // what the engine typed last

  bool Backspace(int count) override {
    while (count-- > 0 && !text.empty()) {
      text.pop_back();
    }
    return true;
  }
  bool TypeText(const std::string& typed) override {
    last_typed = Utf32FromUtf8(typed);
    text += last_typed;
    return true;
  }
  void ReleaseHeldKey(int32_t id) override {
    text += held[id];
    held.erase(id);
  }
  bool ExtendHold(int32_t) override { return true; }
  void ShowHud(const std::string&) override {}
  std::optional<bool> IsPasswordFieldFocused() override { return false; }
  std::optional<std::string> UiaSelectedText() override { return std::nullopt; }
  void SaveClipboard() override {}
  void RestoreClipboard() override {}
  void Copy() override {}
  std::optional<int64_t> ClipboardChangeCount() override { return std::nullopt; }
  std::optional<std::string> ReadClipboardText() override { return std::nullopt; }
  std::vector<KeyLayout> SystemLayouts() override {
    return {UsLayout(), RussianLayout()};
  }
  void SetTypingCapture(bool) override {}
  std::optional<std::u32string> PendingTyping() override { return std::u32string(); }
  void Wait(int) override {}
  int64_t NowMs() override { return 0; }
  void Note(const std::string&, const std::string&) override {}
};

EncodableValue Record(std::initializer_list<std::pair<const char*, EncodableValue>> fields) {
  EncodableMap map;
  for (const auto& [key, value] : fields) {
    map.emplace(EncodableValue(key), value);
  }
  return EncodableValue(map);
}

// The keyboard's rows as positions in the layout tables.
constexpr int kRowStart[] = {0, 13, 26, 37, 47};

std::vector<size_t> Neighbours(size_t position) {
  int row = 0;
  while (position >= static_cast<size_t>(kRowStart[row + 1])) ++row;
  const int column = static_cast<int>(position) - kRowStart[row];
  std::vector<size_t> result;
  for (int r = std::max(row - 1, 0); r <= std::min(row + 1, 3); ++r) {
    for (int c = column - 1; c <= column + 1; ++c) {
      if ((r != row || c != column) && c >= 0 &&
          c < kRowStart[r + 1] - kRowStart[r]) {
        result.push_back(kRowStart[r] + c);
      }
    }
  }
  return result;
}

struct Typist {
  const LayoutGuesser* guesser;
  const KeyLayout* meant;   // the layout the text belongs to
  const KeyLayout* active;  // the one the keys type on, at first
  // The window's layout becomes the one the engine typed its text with, as
  // the host switches it before typing; words in capitals are typed with
  // Caps Lock on.
  bool follow = false;
  double typo_rate = 0;
  std::vector<double>* decide_us = nullptr;

  // Types |text| into a new field; returns what the field holds and, in
  // |typed|, what the keys typed.
  std::u32string Type(const std::u32string& text, std::mt19937& random,
                      std::u32string* typed) const {
    FakeEdit edit;
    RepairEngine engine(edit, guesser);
    const KeyLayout* keys = active;
    int32_t next_hold = 1;
    int64_t now = 0;
    std::uniform_real_distribution<double> chance(0, 1);
    // Where the words in capitals are: two letters or more, none small.
    std::vector<bool> capitals(text.size());
    for (size_t start = 0; follow && start < text.size();) {
      const size_t end = std::min(text.find_first_of(U" \n\t", start), text.size());
      const auto first = text.begin() + start, last = text.begin() + end;
      if (std::count_if(first, last, IsLetter) > 1 &&
          std::none_of(first, last, [](char32_t c) { return ToUpper(c) != c; })) {
        std::fill(capitals.begin() + start, capitals.begin() + end, true);
      }
      start = end + 1;
    }
    auto word_end = [&](const EncodableValue& record) {
      const auto start = Clock::now();
      engine.OnRecord(record, now);
      decide_us->push_back(
          std::chrono::duration<double, std::micro>(Clock::now() - start).count());
      if (follow && !edit.last_typed.empty()) {
        const bool latin = std::any_of(edit.last_typed.begin(), edit.last_typed.end(),
                                       IsLatinLetter);
        keys = latin == (meant->primary_language() == kEnglishLanguage) ? meant : active;
        edit.last_typed.clear();
      }
    };
    for (size_t at = 0; at < text.size(); ++at) {
      const char32_t c = text[at];
      now += 80;
      if (c == U'\n' || c == U'\t') {
        const int32_t id = next_hold++;
        edit.held[id] = std::u32string(1, c);
        typed->push_back(c);
        word_end(Record({{"type", EncodableValue("keyDown")},
                         {"keycode", EncodableValue(c == U'\n' ? 0x0D : 0x09)},
                         {"chars", EncodableValue(c == U'\n' ? "\r" : "\t")},
                         {"held", EncodableValue(id)}}));
        continue;
      }
      size_t position = meant->chars.find(c);
      bool shift = false;
      if (position == std::u32string::npos) {
        position = meant->shift_chars.find(c);
        // A capital no key of the layout types is typed on another one,
        // with Shift too.
        shift = position != std::u32string::npos || ToLower(c) != c;
      }
      char32_t out = c;
      if (position != std::u32string::npos && c != U' ') {
        if (typo_rate > 0 && IsLetter(c) && chance(random) < typo_rate) {
          const std::vector<size_t> near = Neighbours(position);
          position = near[random() % near.size()];
        }
        // With Caps Lock on, capitals come without Shift, and a key's
        // letter in the other case.
        shift = shift && !(capitals[at] && IsLetter(c));
        out = (shift ? keys->shift_chars : keys->chars)[position];
        if (capitals[at] && IsLetter(out)) {
          out = ToLower(out) != out ? ToLower(out) : ToUpper(out);
        }
      }
      typed->push_back(out);
      if (shift) {
        engine.OnRecord(Record({{"type", EncodableValue("modifier")},
                                {"keycode", EncodableValue(0xA0)},
                                {"down", EncodableValue(true)}}),
                        now);
      }
      edit.text.push_back(out);
      const EncodableValue key =
          Record({{"type", EncodableValue("keyDown")},
                  {"keycode", EncodableValue(c == U' ' ? 0x20 : 0x41)},
                  {"chars", EncodableValue(Utf8FromUtf32(std::u32string(1, out)))},
                  {"shift", EncodableValue(shift)}});
      if (c == U' ') {
        word_end(key);
      } else {
        engine.OnRecord(key, now);
      }
      if (shift) {
        engine.OnRecord(Record({{"type", EncodableValue("modifier")},
                                {"keycode", EncodableValue(0xA0)},
                                {"down", EncodableValue(false)}}),
                        now + 20);
      }
    }
    // The last word ends too.
    edit.text.push_back(U' ');
    typed->push_back(U' ');
    now += 80;
    word_end(Record({{"type", EncodableValue("keyDown")},
                     {"keycode", EncodableValue(0x20)},
                     {"chars", EncodableValue(" ")}}));
    return edit.text;
  }
};

std::vector<std::u32string> Words(const std::u32string& text) {
  std::vector<std::u32string> words;
  std::u32string word;
  for (char32_t c : text + U" ") {
    if (c <= U' ') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word += c;
    }
  }
  return words;
}

size_t Letters(const std::u32string& word) {
  return std::count_if(word.begin(), word.end(), IsLetter);
}

// Every failure, with the run it is of and the words before it, when
// KORVEX_BENCH_FAILURES names a file.
FILE* failures = nullptr;

struct Tally {
  std::string run;  // empty: its failures are not written
  size_t words = 0, wrong = 0;
  std::vector<std::string> examples;
  std::mt19937 sample{7};
  void Add(bool failed, const std::u32string& typed, const std::u32string& got,
           const std::u32string& meant, const std::string& before) {
    ++words;
    if (!failed) return;
    ++wrong;
    std::string example = Utf8FromUtf32(typed) + " -> " + Utf8FromUtf32(got);
    if (got != meant) example += " (meant " + Utf8FromUtf32(meant) + ")";
    if (failures && !run.empty()) {
      std::fprintf(failures, "%s\t%s\t%s\n", run.c_str(), example.c_str(), before.c_str());
    }
    if (examples.size() < 12) {
      examples.push_back(example);
    } else if (sample() % wrong < 12) {
      examples[sample() % 12] = example;
    }
  }
  double Rate() const { return words ? 100.0 * wrong / words : 0; }
  void Print(const char* what, bool show) const {
    std::printf("    %-44s %6.2f %%  (%zu of %zu)\n", what, Rate(), wrong, words);
    if (show) {
      for (const std::string& example : examples) std::printf("        %s\n", example.c_str());
    }
  }
};

struct Text {
  std::u32string body;
  bool check_half;
};

void AddText(std::u32string body, bool check, std::vector<Text>* texts) {
  while (!body.empty() && body.back() <= U' ') body.pop_back();
  // Control characters are no typing.
  const bool typable = std::all_of(body.begin(), body.end(), [](char32_t c) {
    return c >= U' ' || c == U'\n' || c == U'\t';
  });
  if (!body.empty() && typable) texts->push_back({body, check});
}

uint32_t U32At(const std::vector<uint8_t>& bytes, size_t at) {
  return at + 4 > bytes.size() ? 0
                               : static_cast<uint32_t>(bytes[at]) | bytes[at + 1] << 8 |
                                     bytes[at + 2] << 16 |
                                     static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// A gettext catalogue's translations (each plural form apart), without the
// header; false when |bytes| is no little-endian catalogue.
bool ReadCatalogue(const std::vector<uint8_t>& bytes, bool check, std::vector<Text>* texts) {
  if (U32At(bytes, 0) != 0x950412de) return false;
  const uint32_t count = U32At(bytes, 8), originals = U32At(bytes, 12),
                 translations = U32At(bytes, 16);
  for (uint32_t i = 0; i < count; ++i) {
    const size_t length = U32At(bytes, translations + 8 * size_t{i});
    const size_t offset = U32At(bytes, translations + 8 * size_t{i} + 4);
    if (U32At(bytes, originals + 8 * size_t{i}) == 0 || offset + length > bytes.size()) {
      continue;
    }
    std::string forms(bytes.begin() + offset, bytes.begin() + offset + length);
    for (size_t start = 0; start <= forms.size();) {
      const size_t end = std::min(forms.find('\0', start), forms.size());
      AddText(Utf32FromUtf8(forms.substr(start, end - start)), check, texts);
      start = end + 1;
    }
  }
  return true;
}

std::vector<Text> ReadTexts(const std::vector<std::string>& files) {
  std::vector<Text> texts;
  for (const std::string& path : files) {
    const std::vector<uint8_t> bytes = ReadBytes(path);
    const bool check = std::hash<std::string>()(path.substr(path.rfind('/') + 1)) % 2 == 1;
    if (ReadCatalogue(bytes, check, &texts)) continue;
    const std::u32string all = Utf32FromUtf8(std::string(bytes.begin(), bytes.end()));
    std::u32string body;
    size_t start = 0;
    while (start <= all.size()) {
      size_t end = all.find(U'\n', start);
      if (end == std::u32string::npos) end = all.size();
      std::u32string line = all.substr(start, end - start);
      start = end + 1;
      if (line == U"%" || start > all.size()) {
        if (line != U"%") body += line;
        AddText(body, check, &texts);
        body.clear();
      } else {
        body += line + U"\n";
      }
    }
  }
  return texts;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: repair_quality_bench MODEL_DIR [en|ru[-NAME] FILE...]...\n");
    return 2;
  }
  const std::string models = argv[1];
  if (const char* path = std::getenv("KORVEX_BENCH_FAILURES")) {
    failures = std::fopen(path, "w");
  }
  const auto load_start = Clock::now();
  const auto english = LanguageModel::Load(ReadBytes(models + "/korvex_en.kvlm"));
  const auto russian = LanguageModel::Load(ReadBytes(models + "/korvex_ru.kvlm"));
  const double load_ms =
      std::chrono::duration<double, std::milli>(Clock::now() - load_start).count();
  if (!english || !russian) {
    std::fprintf(stderr, "repair_quality_bench: no models in %s\n", models.c_str());
    return 1;
  }
  std::vector<std::pair<std::string, std::vector<std::string>>> files;
  for (int i = 2; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.substr(0, 2) == "en" || argument.substr(0, 2) == "ru") {
      files.push_back({argument, {}});
    } else if (!files.empty()) {
      files.back().second.push_back(argument);
    }
  }
  const LayoutGuesser guesser(&*english, &*russian);
  const KeyLayout us = UsLayout(), ru = RussianLayout();
  std::vector<double> decide_us;
  for (const auto& [name, paths] : files) {
    const std::vector<Text> texts = ReadTexts(paths);
    const bool english_text = name.substr(0, 2) == "en";
    const KeyLayout* own = english_text ? &us : &ru;
    const KeyLayout* other = english_text ? &ru : &us;
    for (int half = 0; half < 2; ++half) {
      size_t text_count = 0, word_count = 0;
      for (const Text& text : texts) {
        if (text.check_half != (half == 1)) continue;
        ++text_count;
        word_count += Words(text.body).size();
      }
      const std::string label = name + (half ? " check" : " tune");
      std::printf("%s half: %zu texts, %zu words\n", label.c_str(), text_count, word_count);
      const struct Run {
        const char* title;
        const char* tag;
        const KeyLayout* active;
        bool follow;
        double typo_rate;
        int passes;
      } runs[] = {
          {"typed on its own layout", "own", own, false, 0, 1},
          {"typed on the other layout", "other", other, false, 0, 1},
          {"typed on its own layout, 1 letter in 200 mistyped", "typo", own, false,
           1.0 / 200, kTypoPasses},
          {"typed on the other layout until a repair switches it, capitals with "
           "Caps Lock", "switched", other, true, 0, 1},
      };
      for (const Run& run : runs) {
        const Typist typist{&guesser, own, run.active, run.follow, run.typo_rate, &decide_us};
        Tally changed, typo_changed, long_right, all_right;
        changed.run = typo_changed.run = all_right.run = label + " " + run.tag;
        for (int pass = 0; pass < run.passes; ++pass) {
          for (size_t t = 0; t < texts.size(); ++t) {
            const Text& text = texts[t];
            if (text.check_half != (half == 1)) continue;
            // The same letters mistyped whatever the rules decide.
            std::mt19937 random(static_cast<uint32_t>(t * kTypoPasses + pass));
            std::u32string typed;
            const std::u32string got = typist.Type(text.body, random, &typed);
            const auto meant_words = Words(text.body);
            const auto typed_words = Words(typed);
            const auto got_words = Words(got);
            if (got_words.size() != meant_words.size() ||
                typed_words.size() != meant_words.size()) {
              std::printf("    the words went out of step in: %s\n",
                          Utf8FromUtf32(text.body.substr(0, 60)).c_str());
              continue;
            }
            for (size_t i = 0; i < meant_words.size(); ++i) {
              const std::u32string& meant = meant_words[i];
              const size_t letters = Letters(meant);
              // A word of the other script in the text was typed as it
              // stands and is to stay so; one of both scripts is left out.
              if (letters == 0 ||
                  (run.active != own && typed_words[i] != meant &&
                   CountTypable(meant, *own) < static_cast<int>(meant.size()))) {
                continue;
              }
              std::string before;
              for (size_t j = i > 3 ? i - 3 : 0; j < i; ++j) {
                before += Utf8FromUtf32(got_words[j]) + " ";
              }
              if (run.active == own) {
                const bool typo = typed_words[i] != meant;
                (typo ? typo_changed : changed)
                    .Add(got_words[i] != typed_words[i], typed_words[i], got_words[i],
                         meant, before);
              } else {
                const bool wrong = got_words[i] != meant;
                all_right.Add(wrong, typed_words[i], got_words[i], meant, before);
                if (letters >= 3) {
                  long_right.Add(wrong, typed_words[i], got_words[i], meant, before);
                }
              }
            }
          }
        }
        std::printf("  %s\n", run.title);
        if (run.active == own) {
          changed.Print("words changed (false repairs)", true);
          if (run.typo_rate > 0) typo_changed.Print("words with a typo changed", true);
        } else {
          std::printf("    %-44s %6.2f %%\n", "words of 3+ letters ending right",
                      100 - long_right.Rate());
          std::printf("    %-44s %6.2f %%\n", "all words ending right", 100 - all_right.Rate());
          all_right.Print("words ending wrong", true);
        }
      }
    }
  }
  std::printf("decision at a word end, with context: median %.2f us over %zu\n",
              Median(decide_us), decide_us.size());
  std::printf("both models loaded from their files in %.1f ms\n", load_ms);
  return 0;
}
