// SPDX-License-Identifier: MIT
// The settings file: its place, its lines, and the rules for each key.
#include "tools/common/settings_file.h"

#include <cstdlib>
#include <vector>

#include "tools/common/option_parser.h"
#include "tools/common/regular_file.h"

namespace kestrel::cli {
namespace {

struct KeyRule {
  std::string_view name;
  bool path;  // the value names an absolute path
};

constexpr KeyRule kKeys[] = {
    {"charset", false}, {"handheld-charset", false}, {"data-folder", true}, {"log", true}};

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

const KeyRule* FindKey(std::string_view name) {
  for (const KeyRule& rule : kKeys) {
    if (rule.name == name) return &rule;
  }
  return nullptr;
}

std::string UnknownKey(std::string_view key) {
  std::vector<std::string_view> names;
  std::string list;
  for (const KeyRule& rule : kKeys) {
    names.push_back(rule.name);
    list += (list.empty() ? "" : ", ") + std::string(rule.name);
  }
  const std::string nearest = NearestName(names, key);
  return "unknown key " + std::string(key) +
         (nearest.empty() ? "; the keys are " + list : "; did you mean " + nearest + "?");
}

// What is wrong with `value` for `rule`; empty when nothing is.
std::string ValueProblem(const KeyRule& rule, std::string_view value) {
  if (value.empty()) return std::string(rule.name) + " has no value; write " +
                            std::string(rule.name) + " = VALUE, or remove the line";
  if (!rule.path || (value == "-" && rule.name == "log") || value.front() == '/') return {};
  if (value.front() == '~') {
    return std::string(rule.name) + " " + std::string(value) +
           ": ~ is not expanded here; write the whole path from /";
  }
  return std::string(rule.name) + " " + std::string(value) +
         " is a relative path; write the whole path from /";
}

// One line that is not blank or a comment; false with *problem.
bool ParseLine(std::string_view line, int number, Settings* settings, std::string* problem) {
  const std::size_t equals = line.find('=');
  if (equals == std::string_view::npos) {
    *problem = "not a setting; write KEY = VALUE, or start a comment with #";
    return false;
  }
  const std::string_view key = Trim(line.substr(0, equals));
  const std::string_view value = Trim(line.substr(equals + 1));
  const KeyRule* rule = FindKey(key);
  if (rule == nullptr) {
    *problem = key.empty() ? "no key before =; write KEY = VALUE" : UnknownKey(key);
    return false;
  }
  if (const SettingValue* first = settings->Find(key)) {
    *problem = std::string(key) + " given twice (first on line " + std::to_string(first->line) +
               "); keep one";
    return false;
  }
  *problem = ValueProblem(*rule, value);
  if (!problem->empty()) return false;
  settings->values[std::string(key)] = SettingValue{std::string(value), number};
  return true;
}

}  // namespace

const char* ProcessEnv(const char* name) { return std::getenv(name); }

std::optional<std::string> ConfigFilePath(const EnvLookup& env, std::string_view name) {
  const std::string tail = "/kestrelplan/" + std::string(name);
  const char* config = env("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return config + tail;
  const char* home = env("HOME");
  if (home != nullptr && home[0] != '\0') return home + std::string("/.config") + tail;
  return std::nullopt;
}

const SettingValue* Settings::Find(std::string_view key) const {
  const auto it = values.find(key);
  return it == values.end() ? nullptr : &it->second;
}

std::string Settings::Source(std::string_view key) const {
  const SettingValue* found = Find(key);
  return std::string(key) + " in " + path + ":" + std::to_string(found ? found->line : 0);
}

bool ParseSettings(std::string_view text, const std::string& path, Settings* settings,
                   std::string* error) {
  Settings parsed;
  parsed.path = path;
  int number = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++number;
    if (line.empty() || line.front() == '#') continue;
    std::string problem;
    if (!ParseLine(line, number, &parsed, &problem)) {
      *error = path + ":" + std::to_string(number) + ": " + problem;
      return false;
    }
  }
  *settings = std::move(parsed);
  return true;
}

bool ChooseCharsets(const Settings& file, CharsetChoice* choice, std::string* error,
                    bool handheldAlone) {
  const auto take = [&file](std::string_view key, std::optional<std::string>* value,
                            std::string* source, std::string_view option) {
    if (*value) {
      *source = option;
    } else if (const SettingValue* found = file.Find(key)) {
      *value = found->value;
      *source = file.Source(key);
    }
  };
  take("charset", &choice->charset, &choice->charsetSource, "--charset");
  take("handheld-charset", &choice->handheldCharset, &choice->handheldSource,
       "--handheld-charset");
  if (choice->charset == "none") {
    choice->charset.reset();
    choice->handheldCharset.reset();
    choice->turnedOff = true;
    return true;
  }
  if (choice->handheldCharset && !choice->charset && !handheldAlone) {
    *error = choice->handheldSource == "--handheld-charset"
                 ? "--handheld-charset needs --charset"
                 : file.path + ":" + std::to_string(file.Find("handheld-charset")->line) +
                       ": handheld-charset needs charset; add a charset line, or give --charset";
    return false;
  }
  return true;
}

#ifndef _WIN32
bool LoadSettings(const EnvLookup& env, Settings* settings, std::string* error) {
  *settings = Settings{};
  const std::optional<std::string> path = ConfigFilePath(env, kSettingsFileName);
  if (!path) return true;
  std::string text;
  bool missing = false;
  if (!ReadRegularFile(*path, kMaxSettingsFileBytes, &text, error, &missing)) return missing;
  return ParseSettings(text, *path, settings, error);
}
#endif

}  // namespace kestrel::cli
