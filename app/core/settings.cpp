#include "core/settings.h"

#include <optional>
#include <string>
#include <utility>

namespace korvex_app {

namespace {

std::string_view Trim(std::string_view text) {
  const char* blanks = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return std::string_view();
  }
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

std::string Lower(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return result;
}

std::optional<bool> ParseBool(std::string_view value) {
  const std::string word = Lower(value);
  if (word == "true" || word == "on" || word == "yes" || word == "1") {
    return true;
  }
  if (word == "false" || word == "off" || word == "no" || word == "0") {
    return false;
  }
  return std::nullopt;
}

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

// Takes the next line off |rest|, without its "\n".
std::string_view NextLine(std::string_view& rest) {
  const size_t end = rest.find('\n');
  const std::string_view line = rest.substr(0, end);
  rest = end == std::string_view::npos ? std::string_view()
                                       : rest.substr(end + 1);
  return line;
}

// The lower-case name a line sets and the value it gives; no name when it
// sets none.
std::pair<std::string, std::string_view> NameAndValue(std::string_view line) {
  line = Trim(line.substr(0, line.find('#')));
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    return {};
  }
  return {Lower(Trim(line.substr(0, equals))), Trim(line.substr(equals + 1))};
}

std::string SettingLine(const char* name, bool value) {
  return std::string(name) + " = " + (value ? "on" : "off");
}

}  // namespace

Settings ParseSettings(std::string_view text) {
  Settings settings;
  // A byte-order mark from a Windows editor is not part of the first name.
  if (text.substr(0, 3) == kByteOrderMark) {
    text.remove_prefix(3);
  }
  while (!text.empty()) {
    const auto [name, text_value] = NameAndValue(NextLine(text));
    const std::optional<bool> value = ParseBool(text_value);
    if (!value) {
      continue;
    }
    if (name == "autorepair") {
      settings.auto_repair = *value;
    } else if (name == "keysounds") {
      settings.key_sounds = *value;
    }
  }
  return settings;
}

std::string UpdateSettingsText(std::string_view previous,
                               const Settings& settings) {
  std::string text;
  if (previous.substr(0, 3) == kByteOrderMark) {
    text += kByteOrderMark;
    previous.remove_prefix(3);
  }
  // Added lines end as the file's lines do.
  const std::string_view end =
      previous.find("\r\n") != std::string_view::npos ? "\r\n" : "\n";
  const bool ends_open = !previous.empty() && previous.back() != '\n';
  bool has_auto_repair = false;
  bool has_key_sounds = false;
  while (!previous.empty()) {
    const bool last = previous.find('\n') == std::string_view::npos;
    std::string_view line = NextLine(previous);
    const std::string name = NameAndValue(line).first;
    if (name == "autorepair" || name == "keysounds") {
      const bool auto_repair = name == "autorepair";
      (auto_repair ? has_auto_repair : has_key_sounds) = true;
      const size_t comment = line.find('#');
      const bool carriage_return = !line.empty() && line.back() == '\r';
      std::string replaced = auto_repair
                                 ? SettingLine("autoRepair", settings.auto_repair)
                                 : SettingLine("keySounds", settings.key_sounds);
      if (comment != std::string_view::npos) {
        replaced += "  ";
        replaced += line.substr(comment, carriage_return ? line.size() - comment - 1
                                                         : std::string_view::npos);
      }
      text += replaced;
      if (carriage_return) {
        text += '\r';
      }
    } else {
      text += line;
    }
    if (!last) {
      text += '\n';
    }
  }
  if (ends_open && !(has_auto_repair && has_key_sounds)) {
    text += end;
  }
  if (!has_auto_repair) {
    text += SettingLine("autoRepair", settings.auto_repair) + std::string(end);
  }
  if (!has_key_sounds) {
    text += SettingLine("keySounds", settings.key_sounds) + std::string(end);
  }
  return text;
}

}  // namespace korvex_app
