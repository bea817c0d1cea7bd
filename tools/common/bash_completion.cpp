// SPDX-License-Identifier: MIT
// Writing a bash completion script from an option table.
#include "tools/common/bash_completion.h"

namespace kestrel::cli {
namespace {

// The options whose value is of `kind`, as a bash case pattern
// ("--log|--registry"); empty when there are none.
std::string Pattern(const std::vector<OptionDefinition>& options, ValueKind kind) {
  std::string pattern;
  for (const OptionDefinition& definition : options) {
    if (definition.kind != kind || definition.value.empty()) continue;
    pattern += (pattern.empty() ? "" : "|") + std::string("--") + std::string(definition.name);
    if (definition.shortName != '\0') pattern += std::string("|-") + definition.shortName;
  }
  return pattern;
}

// Every option that takes a value, as a bash case pattern.
std::string Valued(const std::vector<OptionDefinition>& options) {
  std::string pattern;
  for (const ValueKind kind :
       {ValueKind::None, ValueKind::File, ValueKind::Folder, ValueKind::Charset}) {
    const std::string part = Pattern(options, kind);
    if (!part.empty()) pattern += (pattern.empty() ? "" : "|") + part;
  }
  return pattern.empty() ? "--" : pattern;
}

std::string ValueCases(const std::vector<OptionDefinition>& options) {
  const struct {
    ValueKind kind;
    const char* reply;
  } kinds[] = {
      {ValueKind::File, "compgen -f -- \"$cur\""},
      {ValueKind::Folder, "compgen -d -- \"$cur\""},
      {ValueKind::Charset, "compgen -W \"none $(iconv -l 2>/dev/null | tr -d ,/)\" -- \"$cur\""},
  };
  std::string text;
  for (const auto& kind : kinds) {
    const std::string pattern = Pattern(options, kind.kind);
    if (pattern.empty()) continue;
    text += "    " + pattern + ")\n      COMPREPLY=($(" + kind.reply + "))\n      return ;;\n";
  }
  return text;
}

std::string Words(const std::vector<OptionDefinition>& options) {
  std::string words;
  for (const OptionDefinition& definition : options) {
    words += (words.empty() ? "--" : " --") + std::string(definition.name);
    if (definition.shortName != '\0') words += std::string(" -") + definition.shortName;
  }
  return words;
}

std::string FunctionName(std::string_view program) {
  std::string name = "_" + std::string(program);
  for (char& c : name) {
    if (c == '-') c = '_';
  }
  return name;
}

}  // namespace

std::string BashCompletion(std::string_view program, const std::vector<OptionDefinition>& options,
                           const std::vector<std::string_view>& commands) {
  std::string commandWords;
  for (const std::string_view command : commands) {
    commandWords += (commandWords.empty() ? "" : " ") + std::string(command);
  }
  const std::string operands =
      commands.empty()
          ? "  COMPREPLY=($(compgen -d -- \"$cur\"))\n"
          : "  local i first=\n"
            "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
            "    case ${COMP_WORDS[i-1]} in " +
                Valued(options) +
                ") continue ;; esac\n"
                "    [[ ${COMP_WORDS[i]} != -* ]] && { first=${COMP_WORDS[i]}; break; }\n"
                "  done\n"
                "  if [[ -z $first ]]; then\n"
                "    COMPREPLY=($(compgen -W \"" +
                commandWords +
                "\" -- \"$cur\"))\n"
                "  else\n"
                "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
                "  fi\n";
  const std::string function = FunctionName(program);
  return "# bash completion for " + std::string(program) + "\n" + function +
         "() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
         "  case $prev in\n" +
         ValueCases(options) +
         "  esac\n"
         "  if [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"" +
         Words(options) +
         "\" -- \"$cur\"))\n"
         "    return\n"
         "  fi\n" +
         operands + "}\ncomplete -o filenames -F " + function + " " + std::string(program) + "\n";
}

}  // namespace kestrel::cli
