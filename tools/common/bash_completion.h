// SPDX-License-Identifier: MIT
// The bash completion script of a command, made from its option table so
// that it offers exactly the options the command takes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/common/option_parser.h"

namespace kestrel::cli {

// A script for bash-completion's completions folder that completes
// `program`'s options (long and short), their values (files, folders, the
// character sets of `iconv -l`) and its operands: with `commands`, the first
// word is one of them and the rest are files; without, folders.
std::string BashCompletion(std::string_view program, const std::vector<OptionDefinition>& options,
                           const std::vector<std::string_view>& commands = {});

}  // namespace kestrel::cli
