#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kestrel-csv.exe under Wine: check, to-import (backup, project XML written
# by TaskJuggler and by to-project, read with XmlLite), to-project, chart and
# show, with the character sets of the Windows converter. Wine's standard
# output ends lines in CR LF; they are compared without the CR.
# Usage: csv_exe_test.sh KESTREL_CSV_EXE REPO_ROOT WORK_DIR WINE_PREFIX
set -uo pipefail
exe=$1 root=$2 work=$3
export WINEPREFIX=$4 WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
case "$work" in
  */test-work/*) ;;
  *) echo "csv_exe_test.sh: $work is not a test-work folder" >&2; exit 2 ;;
esac
fixtures=$root/tools/csv/plan/tests/fixtures
samples=$root/samples/handheld
. "$root/tests/test_work.sh"
start_work "$work"
p() { winepath -w "$1" 2>/dev/null; }
# run ARGS...: kestrel-csv.exe with $work/out and $work/err (without CRs)
# and $status.
run() {
  wine "$exe" "$@" </dev/null >"$work/out.raw" 2>"$work/err.raw"
  status=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
  tr -d '\r' <"$work/err.raw" >"$work/err"
}
expect() {  # STATUS OUT ERR WHAT
  [ "$status" = "$1" ] || fail "$4: exit $status, not $1"
  diff <(printf '%s' "$2") "$work/out" >"$work/diff" || fail "$4: output differs:"$'\n'"$(cat "$work/diff")"
  diff <(printf '%s' "$3") "$work/err" >"$work/diff" || fail "$4: messages differ:"$'\n'"$(cat "$work/diff")"
}

relaunch_import="1,Mon 4/13/2026,1 days,Mon 4/13/2026,,100%,Kick-off,Ann
2,Tue 4/14/2026,7 days,Wed 4/22/2026,1,60%,Wireframes & copy,Bob, Cléo
3,Thu 4/23/2026,6 days,Thu 4/30/2026,2,0%,Design «final»,Cléo
4,Mon 5/4/2026,15 days,Fri 5/22/2026,3,0%,Build,Bob, Dan
5,Mon 5/25/2026,1 days,Mon 5/25/2026,4,0%,Launch,
"
backup=$(p "$fixtures/Relaunch.csv")
run to-import --charset UTF-8 "$backup"
expect 0 "$relaunch_import" "kestrel-csv: $backup: read as a backup file
" "to-import of a backup"

run to-project --charset UTF-8 "$backup"
[ "$status" = 0 ] || fail "to-project exits $status: $(cat "$work/err")"
cp "$work/out" "$work/relaunch.xml"
grep -q '<Name>Design «final»</Name>' "$work/relaunch.xml" || fail "to-project: no UTF-8 name"
xml=$(p "$work/relaunch.xml")
run to-import --charset UTF-8 "$xml"
expect 0 "$relaunch_import" "kestrel-csv: $xml: read as project XML
" "to-import of to-project's XML"
run to-import "$xml"
[ "$(sed -n 3p "$work/out" | iconv -f WINDOWS-1252 -t UTF-8)" = "3,Thu 4/23/2026,6 days,Thu 4/30/2026,2,0%,Design «final»,Cléo" ] ||
  fail "to-import without --charset: not the handheld's bytes: $(sed -n 3p "$work/out" | od -c | head -3)"

if command -v tj3 >/dev/null; then
  tj3 --no-color --silent -o "$work" "$fixtures/office-move.tjp" >"$work/tj3.log" 2>&1 || fail "tj3: $(cat "$work/tj3.log")"
  run to-import --charset UTF-8 "$(p "$work/office-move.xml")"
  [ "$status" = 1 ] || fail "to-import of TaskJuggler's XML exits $status"
  [ "$(sed -n '1p;10p;12p' "$work/out")" = "1,Mon 4/13/2026,3 days,Wed 4/15/2026,,100%,Plan the move,Ann
11,Thu 4/30/2026,2 days,Fri 5/1/2026,10,0%,Unpack,Ann, Bob, Cléo
13,Tue 5/5/2026,0 days,Tue 5/5/2026,12,0%,Done," ] || fail "to-import of TaskJuggler's XML: $(cat "$work/out")"
  cp "$work/out" "$work/tj-import.csv"
  run check --charset UTF-8 "$(p "$work/tj-import.csv")"
  [ "$status" = 0 ] || fail "check of the TaskJuggler import exits $status: $(cat "$work/err")"
fi

# One "?" for each character that WINDOWS-1252 lacks, never a look-alike.
printf '%s' '<Project xmlns="http://schemas.microsoft.com/project"><Tasks><Task><UID>1</UID><ID>1</ID><Name>Ω ≠ ŵ é</Name><Start>2026-04-13T08:00:00</Start><Finish>2026-04-13T17:00:00</Finish></Task></Tasks></Project>' >"$work/lossy.xml"
lossy=$(p "$work/lossy.xml")
run to-import --charset UTF-8 "$lossy"
expect 1 "1,Mon 4/13/2026,1 days,Mon 4/13/2026,,0%,? ? ? é,
" "kestrel-csv: $lossy: read as project XML
kestrel-csv: $lossy:1: a character of the name that the handheld's character set lacks is written as \"?\"
" "to-import of characters the handheld lacks"

run chart --today 2026-04-20 --charset UTF-8 "$backup"
[ "$status" = 0 ] || fail "chart exits $status: $(cat "$work/err")"
[ "$(grep -c 'fill="#9ecae1"\|fill="#08519c"' "$work/out")" -ge 5 ] || fail "chart: fewer than 5 bars"
grep -q 'class="today"' "$work/out" || fail "chart: no line for today"

run show "$(p "$samples/KestrelDB.pdb")"
expect 0 "$(tr -d '\r' <"$root/tools/sync/tests/expected/KestrelDB.csv")" "" "show of KestrelDB.pdb"
memo=$(p "$samples/MemoDB.pdb")
run show "$memo"
expect 1 "" "kestrel-csv: $memo: not a task database: type \"DATA\", creator \"memo\"; a sync backs up only record databases of type \"Data\", creator \"Tkpl\"
" "show of a memo database"

if [ "$failures" -ne 0 ]; then
  echo "csv_exe_test.sh: $failures failures" >&2
  exit 1
fi
echo "csv_exe_test.sh: all passed"
