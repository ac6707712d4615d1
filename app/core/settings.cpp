#include "core/settings.h"

#include <optional>
#include <string>

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

}  // namespace

Settings ParseSettings(std::string_view text) {
  Settings settings;
  // A byte-order mark from a Windows editor is not part of the first name.
  if (text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
  }
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view()
                                         : text.substr(end + 1);
    line = Trim(line.substr(0, line.find('#')));
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      continue;
    }
    const std::string name = Lower(Trim(line.substr(0, equals)));
    const std::optional<bool> value = ParseBool(Trim(line.substr(equals + 1)));
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

}  // namespace korvex_app
