#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The bash completion scripts complete as a user types: options (exactly those
# each command's --help lists), their values, kestrel-csv's commands and then
# files, kestrel-sync's handheld folder.
# Usage: completion_test.sh COMPLETIONS_DIR KESTREL_SYNC KESTREL_CSV
set -uo pipefail
dir=$(cd "$1" && pwd) sync=$2 csv=$3
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/handheld" "$work/hh2"
touch "$work/import.csv"

# complete SCRIPT WORD...: what the script offers for the last word, sorted,
# one a line.
complete_words() {
  local script=$1
  shift
  (
    cd "$work" || exit 1
    # shellcheck disable=SC1090
    source "$script"
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    "_$(basename "$script" | tr - _)"
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort
  )
}
expect() {  # WHAT EXPECTED ACTUAL
  [ "$2" = "$3" ] || fail "$1: got [$(tr '\n' ' ' <<<"$3")], expected [$(tr '\n' ' ' <<<"$2")]"
}
# The options a command's --help lists, one a line, sorted: the names that
# open a line of its option list.
help_options() {
  "$1" --help | grep -oE '^  (-[A-Za-z], )?--[a-z-]+' | grep -oE -- '-[A-Za-z]\b|--[a-z-]+' |
    LC_ALL=C sort
}

for command in "$sync" "$csv"; do
  name=$(basename "$command")
  script=$dir/$name
  [ -f "$script" ] || { fail "no completion script for $name"; continue; }
  bash -n "$script" || fail "$name: the script does not parse"
  grep -q "^complete .* $name\$" "$script" || fail "$name: the script completes no $name"
  expect "$name: every option of --help and no other" "$(help_options "$command")" \
    "$(complete_words "$script" "$name" -)"
done

expect "kestrel-sync --dr" "--dry-run" "$(complete_words "$dir/kestrel-sync" kestrel-sync --dr)"
expect "kestrel-sync --data-folder h" "$(printf 'handheld\nhh2')" \
  "$(complete_words "$dir/kestrel-sync" kestrel-sync --data-folder h)"
expect "kestrel-sync -q h" "$(printf 'handheld\nhh2')" \
  "$(complete_words "$dir/kestrel-sync" kestrel-sync -q h)"
expect "kestrel-sync --log i" "import.csv" "$(complete_words "$dir/kestrel-sync" kestrel-sync --log i)"
expect "kestrel-csv" "$(printf 'chart\ncheck\nshow\nto-import\nto-project')" \
  "$(complete_words "$dir/kestrel-csv" kestrel-csv '')"
expect "kestrel-csv --charset UTF-8 to-i" "to-import" \
  "$(complete_words "$dir/kestrel-csv" kestrel-csv --charset UTF-8 to-i)"
expect "kestrel-csv check i" "import.csv" "$(complete_words "$dir/kestrel-csv" kestrel-csv check i)"
expect "kestrel-csv check --no" "--no-config" \
  "$(complete_words "$dir/kestrel-csv" kestrel-csv check --no)"
expect "kestrel-csv --charset no" "none" "$(complete_words "$dir/kestrel-csv" kestrel-csv --charset no)"
if iconv -l 2>/dev/null | grep -qw 'UTF-8'; then
  complete_words "$dir/kestrel-sync" kestrel-sync --charset UTF- | grep -qx UTF-8 ||
    fail "kestrel-sync --charset UTF-: no UTF-8"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "PASS: bash completion of kestrel-sync and kestrel-csv"
