// SPDX-License-Identifier: MIT
// The option-table parser and the help lines made from the same table.
#include "tools/common/option_parser.h"

#include <algorithm>

#include "tools/common/message_escape.h"

namespace kestrel::cli {
namespace {

constexpr std::size_t kHelpColumn = 22;

bool Fail(std::string* error, std::string message) {
  *error = std::move(message);
  return false;
}

std::string SeeHelp(std::string_view program) {
  return " (see " + std::string(program) + " --help)";
}

std::string LongName(const OptionDefinition& definition) {
  return "--" + std::string(definition.name);
}

// The number of single-character edits (insert, delete, replace, swap two
// neighbours) that turn `a` into `b`.
std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

std::string Unknown(const std::vector<OptionDefinition>& table, const std::string& typed,
                    std::string_view program) {
  const std::string nearest = NearestOption(table, typed);
  if (nearest.empty()) return "unknown option " + EscapeForMessage(typed) + SeeHelp(program);
  return "unknown option " + EscapeForMessage(typed) + "; did you mean " + nearest + "?";
}

// The row a long name ("dry", "dry-run") stands for: an exact name, else
// the one option it is a prefix of. False with *error otherwise.
bool MatchLong(const std::vector<OptionDefinition>& table, const std::string& name,
               std::string_view program, std::size_t* row, std::string* error) {
  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < table.size(); ++i) {
    if (table[i].name == name) {
      *row = i;
      return true;
    }
    if (!name.empty() && table[i].name.substr(0, name.size()) == name) candidates.push_back(i);
  }
  if (candidates.size() == 1) {
    *row = candidates[0];
    return true;
  }
  if (candidates.empty()) return Fail(error, Unknown(table, "--" + name, program));
  std::string names;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    names += (i == 0                       ? ""
              : i + 1 == candidates.size() ? " or "
                                           : ", ") +
             LongName(table[candidates[i]]);
  }
  return Fail(error, "option --" + EscapeForMessage(name) + " is ambiguous: it may be " + names +
                         "; type more of its name");
}

// Parses the state of one run through the arguments.
class Parser {
 public:
  Parser(const std::vector<OptionDefinition>& table, const std::vector<std::string>& args,
         std::string_view program, ParsedArguments* parsed, std::string* error)
      : table_(table), args_(args), program_(program), parsed_(parsed), error_(error) {}

  bool Run() {
    bool optionsEnded = false;
    for (next_ = 0; next_ < args_.size();) {
      const std::string& arg = args_[next_++];
      if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
        parsed_->operands.push_back(arg);
      } else if (arg == "--") {
        optionsEnded = true;
      } else if (!(arg[1] == '-' ? Long(arg.substr(2)) : Short(arg))) {
        return false;
      }
    }
    return true;
  }

 private:
  // "--name", "--name=VALUE" or "--name VALUE", the name perhaps cut short.
  bool Long(const std::string& text) {
    const std::size_t equals = text.find('=');
    std::size_t row = 0;
    if (!MatchLong(table_, text.substr(0, equals), program_, &row, error_)) return false;
    const OptionDefinition& definition = table_[row];
    if (definition.value.empty()) {
      if (equals != std::string::npos)
        return Fail(error_, LongName(definition) + " takes no value" + SeeHelp(program_));
      return Add(row, "");
    }
    if (equals != std::string::npos) return Add(row, text.substr(equals + 1));
    return AddNext(row);
  }

  // "-n", "-nq", or a short option with its value after it ("-lFILE").
  bool Short(const std::string& arg) {
    for (std::size_t at = 1; at < arg.size(); ++at) {
      const auto it =
          std::find_if(table_.begin(), table_.end(), [&](const OptionDefinition& definition) {
            return definition.shortName != '\0' && definition.shortName == arg[at];
          });
      if (it == table_.end()) return Fail(error_, UnknownShort(arg, at));
      const auto row = static_cast<std::size_t>(it - table_.begin());
      if (it->value.empty()) {
        if (!Add(row, "")) return false;
        continue;
      }
      if (at + 1 < arg.size()) return Add(row, arg.substr(at + 1));
      return AddNext(row);
    }
    return true;
  }

  // "-dry-run" or "-help" is more likely a long option typed with one dash.
  std::string UnknownShort(const std::string& arg, std::size_t at) const {
    const std::string typed = std::string("-") + arg[at];
    if (arg.size() > 2) {
      std::size_t row = 0;
      std::string ignored;
      if (MatchLong(table_, arg.substr(1, arg.find('=') - 1), program_, &row, &ignored)) {
        return "unknown option " + EscapeForMessage(typed) + " in " + EscapeForMessage(arg) +
               "; did you mean " + LongName(table_[row]) + "?";
      }
    }
    return "unknown option " + EscapeForMessage(typed) + SeeHelp(program_);
  }

  bool AddNext(std::size_t row) {
    if (next_ >= args_.size()) return Missing(row);
    return Add(row, args_[next_++]);
  }

  bool Missing(std::size_t row) {
    const OptionDefinition& definition = table_[row];
    return Fail(error_, LongName(definition) + " needs " + std::string(definition.needs) +
                            SeeHelp(program_));
  }

  bool Add(std::size_t row, std::string value) {
    const OptionDefinition& definition = table_[row];
    if (!definition.value.empty()) {
      if (value.empty()) return Missing(row);
      for (const FoundOption& found : parsed_->options) {
        if (found.row == row) return Fail(error_, LongName(definition) + " given twice");
      }
    }
    parsed_->options.push_back({row, std::move(value)});
    return true;
  }

  const std::vector<OptionDefinition>& table_;
  const std::vector<std::string>& args_;
  std::string_view program_;
  ParsedArguments* parsed_;
  std::string* error_;
  std::size_t next_ = 0;
};

}  // namespace

bool ParseOptions(const std::vector<OptionDefinition>& table, const std::vector<std::string>& args,
                  std::string_view program, ParsedArguments* parsed, std::string* error) {
  ParsedArguments result;
  if (!Parser(table, args, program, &result, error).Run()) return false;
  *parsed = std::move(result);
  return true;
}

std::string NearestName(const std::vector<std::string_view>& names, std::string_view typed) {
  std::string_view best;
  std::size_t bestDistance = 0;
  for (const std::string_view name : names) {
    const std::size_t distance = EditDistance(typed, name);
    if (best.empty() || distance < bestDistance) {
      best = name;
      bestDistance = distance;
    }
  }
  // Close enough to be a slip of the fingers: a third of the name at most.
  const std::size_t allowed = std::max<std::size_t>(1, best.size() / 3);
  return !best.empty() && bestDistance <= allowed ? std::string(best) : std::string();
}

std::string NearestOption(const std::vector<OptionDefinition>& table, std::string_view typed) {
  while (!typed.empty() && typed.front() == '-') typed.remove_prefix(1);
  typed = typed.substr(0, typed.find('='));
  std::vector<std::string_view> names;
  for (const OptionDefinition& definition : table) names.push_back(definition.name);
  const std::string nearest = NearestName(names, typed);
  return nearest.empty() ? nearest : "--" + nearest;
}

std::string OptionsHelp(const std::vector<OptionDefinition>& table) {
  std::string text;
  for (const OptionDefinition& definition : table) {
    std::string left = "  ";
    if (definition.shortName != '\0') left += std::string("-") + definition.shortName + ", ";
    left += LongName(definition);
    if (!definition.value.empty()) left += " " + std::string(definition.value);
    const std::string indent(kHelpColumn, ' ');
    text += left.size() + 2 > kHelpColumn ? left + "\n" + indent
                                          : left + std::string(kHelpColumn - left.size(), ' ');
    std::string_view help = definition.help;
    for (std::size_t end; (end = help.find('\n')) != std::string_view::npos;) {
      text += std::string(help.substr(0, end)) + "\n" + indent;
      help.remove_prefix(end + 1);
    }
    text += std::string(help) + "\n";
  }
  return text;
}

}  // namespace kestrel::cli
