#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kestrel-csv in a pipe: "-" and /dev/stdin read standard input, from a pipe or
# a redirected file, exactly as a named file is read (byte-order mark, the
# line limits, the 100 lines of the import), and on a terminal it says that it
# is waiting for input.
# Usage: stdin_test.sh KESTREL_CSV WORK_DIR
set -uo pipefail
csv=$1 work=$2
case "$work" in
  */test-work/*) ;;
  *) echo "stdin_test.sh: $work is not a test-work folder" >&2; exit 2 ;;
esac
. "$(dirname "$0")/../../../tests/test_work.sh"
start_work "$work"
mkdir -p "$work/config"
export XDG_CONFIG_HOME=$work/config

# An import file with what the line reader treats specially: a byte-order
# mark, a line over 4478 characters, a backup-form date, and 101 lines.
{
  printf '\xEF\xBB\xBF1,Mon 4/13/98,5 days,Fri 4/17/98,,0%%,Design,Bob\r\n'
  printf '2,Mon 4/13/98,5 days,Fri 4/17/98,,0%%,%s,x\n' "$(head -c 4500 /dev/zero | tr '\0' a)"
  printf '3,4/13/1998,5 days,4/17/1998,,0%%,Build,Ann\n'
  for i in $(seq 4 101); do printf '%d,Mon 4/13/98,1 day,Mon 4/13/98,,0%%,T%d,x\n' "$i" "$i"; done
} >"$work/import.csv"
"$csv" check "$work/import.csv" >"$work/file.out" 2>"$work/file.err"
file_status=$?
[ "$file_status" -eq 1 ] || fail "named file: exit status $file_status, expected 1"
sed "s|$work/import.csv|standard input|" "$work/file.err" >"$work/stdin.expected-err"

compare() {  # WHAT STATUS: $work/out and $work/err are those of the named file
  [ "$2" -eq "$file_status" ] || fail "$1: exit status $2, expected $file_status"
  cmp -s "$work/file.out" "$work/out" || fail "$1: standard output differs from the named file's"
  cmp -s "$3" "$work/err" || fail "$1: standard error [$(head -n 3 "$work/err")]"
}
cat "$work/import.csv" | "$csv" check - >"$work/out" 2>"$work/err"
compare "check - from a pipe" $? "$work/stdin.expected-err"
"$csv" check - <"$work/import.csv" >"$work/out" 2>"$work/err"
compare "check - from a file" $? "$work/stdin.expected-err"
sed "s|$work/import.csv|/dev/stdin|" "$work/file.err" >"$work/devstdin.expected-err"
cat "$work/import.csv" | "$csv" check /dev/stdin >"$work/out" 2>"$work/err"
compare "check /dev/stdin from a pipe" $? "$work/devstdin.expected-err"
"$csv" check /dev/stdin <"$work/import.csv" >"$work/out" 2>"$work/err"
compare "check /dev/stdin from a file" $? "$work/devstdin.expected-err"
# With a character set the same text, converted first.
"$csv" check --charset UTF-8 "$work/import.csv" >"$work/file.out" 2>"$work/file.err"
file_status=$?
sed "s|$work/import.csv|standard input|" "$work/file.err" >"$work/stdin.expected-err"
cat "$work/import.csv" | "$csv" check --charset UTF-8 - >"$work/out" 2>"$work/err"
compare "check --charset UTF-8 - from a pipe" $? "$work/stdin.expected-err"

# to-import reads a backup from standard input.
printf 'ID,Start,Duration,Finish,Predecessors,%% Complete,Name,Resource Names\n1,4/13/1998,5 days,4/17/1998,,0%%,Design,Bob' |
  "$csv" to-import - >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 0 ] || fail "to-import -: exit status $status"
[ "$(cat "$work/out")" = "1,Mon 4/13/1998,5 days,Fri 4/17/1998,,0%,Design,Bob" ] ||
  fail "to-import -: [$(cat "$work/out")]"

# An empty standard input is an empty file.
"$csv" check - </dev/null >"$work/out" 2>"$work/err"
status=$?
[ "$status" -eq 1 ] && [ ! -s "$work/out" ] &&
  [ "$(cat "$work/err")" = "kestrel-csv: standard input: no task: importing this file empties KestrelDB; do not import it unless KestrelDB is to be emptied" ] ||
  fail "check - of nothing: status $status, [$(cat "$work/out" "$work/err")]"

# On a terminal it says what it waits for; end of input ends it.
printf '\004' >"$work/eot"
script -qec "\"$csv\" check -" /dev/null <"$work/eot" >"$work/tty" 2>&1
grep -q "kestrel-csv: reading standard input; end it with Ctrl-D" "$work/tty" ||
  fail "on a terminal: [$(cat -A "$work/tty")]"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "PASS: kestrel-csv reads standard input"
