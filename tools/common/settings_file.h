// SPDX-License-Identifier: MIT
// The settings file both commands read, kestrelplan/kestrel-sync.conf in the
// user's configuration folder: "key = value" lines, values taken literally,
// "#" starting a comment line. Where it is, and what it says; the reading
// itself is POSIX.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace kestrel::cli {

// Looks up an environment variable: its value, or nullptr when it is unset.
using EnvLookup = std::function<const char*(const char*)>;

// The environment of this process.
const char* ProcessEnv(const char* name);

inline constexpr char kSettingsFileName[] = "kestrel-sync.conf";
// A settings file is a few lines; anything larger is not one.
inline constexpr std::uint64_t kMaxSettingsFileBytes = 64u << 10;

// Where the file `name` of the configuration folder is:
// $XDG_CONFIG_HOME/kestrelplan/NAME when that variable is an absolute path,
// else $HOME/.config/kestrelplan/NAME (a relative or empty XDG_CONFIG_HOME
// is ignored); std::nullopt when neither names a place.
std::optional<std::string> ConfigFilePath(const EnvLookup& env, std::string_view name);

// One value of the file and the line it is on.
struct SettingValue {
  std::string value;
  int line = 0;
};

struct Settings {
  std::string path;  // the file read; empty when there was none
  std::map<std::string, SettingValue, std::less<>> values;

  const SettingValue* Find(std::string_view key) const;
  // "KEY in PATH:LINE", for where a setting came from.
  std::string Source(std::string_view key) const;
};

// Reads `text`, the file at `path`. The keys are charset, handheld-charset,
// data-folder and log; the last two name an absolute path ("-" for log is
// standard output). False with *error "PATH:LINE: what is wrong and what to
// write instead" for a line that is not a setting or a comment, an unknown
// or repeated key, an empty value, or a relative path or one starting "~".
bool ParseSettings(std::string_view text, const std::string& path, Settings* settings,
                   std::string* error);

// The character sets of a run: the command line's, else the settings
// file's, with where each came from.
struct CharsetChoice {
  std::optional<std::string> charset;          // the desktop files' set; none: bytes kept
  std::optional<std::string> handheldCharset;  // none: the default
  std::string charsetSource;                   // "--charset", "charset in PATH:LINE"
  std::string handheldSource;
  bool turnedOff = false;  // "--charset=none" (or "charset = none") turned conversion off
};

// Completes `choice`, holding what the command line gave, from `file`: a
// set the command line left out is taken from the file; "none" turns the
// conversion off for this run (the handheld's set then goes unused). False
// with *error when a handheld set is left without a desktop one, unless
// `handheldAlone` allows it (a command that converts from the handheld's set
// in any case).
bool ChooseCharsets(const Settings& file, CharsetChoice* choice, std::string* error,
                    bool handheldAlone = false);

#ifndef _WIN32
// Reads the settings file at ConfigFilePath(env, kSettingsFileName) as a
// registry file is read (regular files only, without blocking, its size
// checked first). A file that is not there is no settings, not an error.
bool LoadSettings(const EnvLookup& env, Settings* settings, std::string* error);
#endif

}  // namespace kestrel::cli
