#include "models/dictionary.h"

#include <fstream>
#include <map>
#include <sstream>

#include "core/text_transform.h"
#include "core/text_utf.h"

namespace korvex_app {

namespace {

// One position of a rule's condition: a letter, "." or a bracket class.
struct Position {
  std::u32string letters;  // empty: any
  bool negated = false;
  bool Matches(char32_t c) const {
    return letters.empty() ||
           (letters.find(c) != std::u32string::npos) != negated;
  }
};

struct Rule {
  bool suffix = true;
  bool cross = false;
  std::u32string strip, add;
  std::vector<Position> condition;

  // The form this rule makes of |word|, or nothing when it does not apply.
  bool Apply(const std::u32string& word, std::u32string* form) const {
    if (word.size() < condition.size() || word.size() <= strip.size()) {
      return false;
    }
    const size_t at = suffix ? word.size() - condition.size() : 0;
    for (size_t i = 0; i < condition.size(); ++i) {
      if (!condition[i].Matches(word[at + i])) {
        return false;
      }
    }
    if (suffix) {
      if (word.compare(word.size() - strip.size(), strip.size(), strip) != 0) {
        return false;
      }
      *form = word.substr(0, word.size() - strip.size()) + add;
    } else {
      if (word.compare(0, strip.size(), strip) != 0) {
        return false;
      }
      *form = add + word.substr(strip.size());
    }
    return true;
  }
};

std::vector<Position> ParseCondition(const std::u32string& text) {
  std::vector<Position> condition;
  if (text == U".") {
    return condition;
  }
  for (size_t i = 0; i < text.size(); ++i) {
    Position position;
    if (text[i] == U'[') {
      const size_t end = text.find(U']', i);
      if (end == std::u32string::npos) {
        break;
      }
      position.negated = i + 1 < end && text[i + 1] == U'^';
      position.letters = text.substr(i + 1 + position.negated,
                                     end - i - 1 - position.negated);
      i = end;
    } else if (text[i] != U'.') {
      position.letters = std::u32string(1, text[i]);
    }
    condition.push_back(position);
  }
  return condition;
}

std::u32string Field(const std::string& text) {
  return text == "0" ? std::u32string() : Utf32FromUtf8(text);
}

std::map<char32_t, std::vector<Rule>> ReadRules(const std::string& path,
                                                std::u32string* compound_only) {
  std::map<char32_t, std::vector<Rule>> rules;
  std::map<char32_t, bool> cross;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string kind, flag, a, b, c;
    fields >> kind >> flag >> a >> b;
    if (kind == "ONLYINCOMPOUND") {
      *compound_only = Utf32FromUtf8(flag);
    }
    if ((kind != "PFX" && kind != "SFX") || flag.empty() || b.empty()) {
      continue;
    }
    const char32_t name = Utf32FromUtf8(flag)[0];
    if (!(fields >> c)) {
      cross[name] = a == "Y";  // the header: cross product, count
      continue;
    }
    Rule rule;
    rule.suffix = kind == "SFX";
    rule.cross = cross[name];
    rule.strip = Field(a);
    rule.add = Field(b.substr(0, b.find('/')));
    rule.condition = ParseCondition(Utf32FromUtf8(c));
    rules[name].push_back(std::move(rule));
  }
  return rules;
}

}  // namespace

const char32_t* AlphabetFor(const std::string& language) {
  if (language == "en") {
    return U"abcdefghijklmnopqrstuvwxyz";
  }
  if (language == "ru") {
    return U"абвгдеёжзийклмнопрстуфхцчшщъыьэюя";
  }
  return nullptr;
}

const char32_t* InnerFor(const std::string& language) {
  return language == "en" ? U"'" : U"";
}

std::vector<std::u32string> ExpandDictionary(const std::string& dic_path,
                                             const std::string& aff_path) {
  std::u32string compound_only;
  const auto rules = ReadRules(aff_path, &compound_only);
  std::vector<std::u32string> words;
  auto keep = [&words](const std::u32string& word) {
    const std::u32string lower = ToLower(word);
    if (!lower.empty() && (word.size() == 1 || word != ToUpper(lower))) {
      words.push_back(lower);
    }
  };
  std::ifstream file(dic_path);
  std::string line;
  std::getline(file, line);  // the entry count
  while (std::getline(file, line)) {
    const std::u32string entry =
        Utf32FromUtf8(line.substr(0, line.find_first_of("\t \r")));
    const size_t slash = entry.find(U'/');
    const std::u32string word = entry.substr(0, slash);
    const std::u32string flags =
        slash == std::u32string::npos ? U"" : entry.substr(slash + 1);
    if (word.empty() || (!compound_only.empty() &&
                         flags.find(compound_only[0]) != std::u32string::npos)) {
      continue;
    }
    keep(word);
    std::vector<std::u32string> crossing;
    std::u32string form;
    for (char32_t flag : flags) {
      const auto found = rules.find(flag);
      for (const Rule& rule : found == rules.end() ? std::vector<Rule>() : found->second) {
        if (rule.suffix && rule.Apply(word, &form)) {
          keep(form);
          if (rule.cross) {
            crossing.push_back(form);
          }
        }
      }
    }
    for (char32_t flag : flags) {
      const auto found = rules.find(flag);
      for (const Rule& rule : found == rules.end() ? std::vector<Rule>() : found->second) {
        if (rule.suffix) {
          continue;
        }
        if (rule.Apply(word, &form)) {
          keep(form);
        }
        for (const std::u32string& suffixed : crossing) {
          if (rule.cross && rule.Apply(suffixed, &form)) {
            keep(form);
          }
        }
      }
    }
  }
  return words;
}

}  // namespace korvex_app
