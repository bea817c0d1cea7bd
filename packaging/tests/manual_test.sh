#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# A command's manual page stays true to the command: every option that
# `COMMAND --help` lists is described in the page's OPTIONS section, and man
# renders the page without a warning.
# Usage: manual_test.sh COMMAND PAGE
set -uo pipefail
command=$1 page=$2
name=$(basename "$page")
failures=0
fail() {
  echo "FAIL: $name: $*" >&2
  failures=$((failures + 1))
}

help=$("$command" --help)
status=$?
[ "$status" -eq 0 ] || fail "$command --help: exit status $status, expected 0"

# The options of --help: a word starting with - or -- then a letter, at the
# start of a line or after a space or one of [ ] | , (
options=$(grep -oE '(^|[][ |,(])--?[A-Za-z][A-Za-z0-9-]*' <<<"$help" | sed -E 's/^[][ |,(]//' |
  sort -u)
[ -n "$options" ] || fail "$command --help lists no option"

# The OPTIONS section as written, with \- read as a hyphen and font changes
# dropped.
section=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | sed -E 's/\\-/-/g; s/\\f[BIRP]//g')
[ -n "$section" ] || fail "no OPTIONS section"
for option in $options; do
  grep -qE -e "(^|[^A-Za-z0-9-])${option}([^A-Za-z0-9-]|\$)" <<<"$section" ||
    fail "the option $option of --help is not in the OPTIONS section"
done

warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man --warnings: $(tr '\n' ' ' <<<"$warnings")"

[ "$failures" -eq 0 ] || exit 1
echo "$name: $(wc -w <<<"$options") options of --help described; renders without a warning"
