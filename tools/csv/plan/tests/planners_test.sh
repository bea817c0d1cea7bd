#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kestrel-csv against the planners of the field: TaskJuggler (tj3) writes a
# plan as project XML that to-import and a sync put on a handheld; Planner's
# own stylesheet reads what to-project writes; a backup comes back through
# to-project, to-import and a sync; a spreadsheet's CSV file goes through
# to-import, check and a sync.
# Usage: planners_test.sh KESTREL_CSV KESTREL_SYNC REPO_ROOT WORK_DIR
set -uo pipefail
csv=$1 sync=$2 root=$3 work=$4
case "$work" in
  */test-work/*) ;;
  *) echo "planners_test.sh: $work is not a test-work folder" >&2; exit 2 ;;
esac
fixtures=$root/tools/csv/plan/tests/fixtures
stylesheet=/usr/share/planner/stylesheets/msp2planner.xsl
for tool in tj3 xsltproc python3; do
  command -v "$tool" >/dev/null || { echo "planners_test.sh: $tool is missing (scripts/install-deps)" >&2; exit 2; }
done
[ -f "$stylesheet" ] || { echo "planners_test.sh: $stylesheet is missing (planner-data)" >&2; exit 2; }

. "$root/tests/test_work.sh"
start_work "$work"
# run COMMAND...: $work/out, $work/err and $status.
run() {
  "$@" </dev/null >"$work/out" 2>"$work/err"
  status=$?
}
expect_status() {
  [ "$status" = "$1" ] || fail "$2: exit $status, not $1; stderr: $(cat "$work/err")"
}
expect_file() {  # FILE EXPECTED-TEXT WHAT
  diff <(printf '%s' "$2") "$1" >"$work/diff" || fail "$3 differs:"$'\n'"$(cat "$work/diff")"
}

# sync_import IMPORT NAME [OPTION...]: syncs IMPORT as import.csv onto a new
# empty handheld, then syncs again so that the backup holds what the import
# stored; the backup is $work/NAME/data/KestrelDB.csv.
sync_import() {
  local import=$1 name=$2
  shift 2
  mkdir -p "$work/$name/data" "$work/$name/handheld"
  cp "$import" "$work/$name/data/import.csv"
  run "$sync" "$@" --data-folder "$work/$name/data" "$work/$name/handheld"
  expect_status 0 "$name: the first sync"
  rm "$work/$name/data/import.csv"
  run "$sync" "$@" --data-folder "$work/$name/data" "$work/$name/handheld"
  expect_status 0 "$name: the second sync"
}

# --- TaskJuggler writes the plan ---------------------------------------------
tj3 --no-color --silent -o "$work" "$fixtures/office-move.tjp" >"$work/tj3.log" 2>&1 ||
  fail "tj3 failed: $(cat "$work/tj3.log")"
# The line of the Task element of the task named $1.
task_line() {
  awk -v name="<Name>$1</Name>" '/<Task>/ { at = NR } index($0, name) { print at; exit }' \
    "$work/office-move.xml"
}
run "$csv" to-import --charset UTF-8 "$work/office-move.xml"
expect_status 1 "to-import of the TaskJuggler plan"
cp "$work/out" "$work/tj-import.csv"
expect_file "$work/err" "kestrel-csv: $work/office-move.xml: read as project XML
kestrel-csv: $work/office-move.xml:$(task_line Fit-out): the summary task \"Fit-out\" is left out
kestrel-csv: $work/office-move.xml:$(task_line 'Move day'): a second predecessor (task UID 8) is left out
" "what to-import names of the TaskJuggler plan"
run "$csv" check --charset UTF-8 "$work/tj-import.csv"
expect_status 0 "check of the TaskJuggler import"
expect_file "$work/err" "kestrel-csv: $work/tj-import.csv:10: note: the name is read as \"Unpack\" and the rest of the line as the resource names
" "what check says of the TaskJuggler import"
sync_import "$work/tj-import.csv" taskjuggler --charset UTF-8
expect_file "$work/taskjuggler/data/KestrelDB.csv" "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names
1,4/13/2026,3 days,4/15/2026,,100%,Plan the move,Ann
2,4/16/2026,2 days,4/17/2026,1,50%,Survey the site,Bob
3,4/16/2026,4 days,4/21/2026,1,25%,Budget,Ann
5,4/20/2026,5 days,4/24/2026,2,0%,Power & data,Cléo
6,4/27/2026,3 days,4/29/2026,5,0%,Desks <new>,Bob
7,4/20/2026,2 days,4/21/2026,2,10%,Paint,Dan
8,4/27/2026,2 days,4/28/2026,5,0%,IT move,Dan
9,4/22/2026,3 days,4/24/2026,3,0%,Pack,Ann
10,4/29/2026,1 days,4/29/2026,9,0%,Move day,Cléo
11,4/30/2026,2 days,5/1/2026,10,0%,Unpack,Ann, Bob, Cléo
12,5/4/2026,1 days,5/4/2026,11,0%,Review,Ann
13,5/5/2026,0 days,5/5/2026,12,0%,Done,
14,5/5/2026,1 days,5/5/2026,13,0%,Party," "the backup of the TaskJuggler plan"

# --- Planner's stylesheet reads to-project ----------------------------------
backup="$fixtures/Relaunch.csv"
run "$csv" to-project --charset UTF-8 "$backup"
expect_status 0 "to-project of $backup"
cp "$work/out" "$work/relaunch.xml"
xsltproc "$stylesheet" "$work/relaunch.xml" >"$work/relaunch.planner" 2>"$work/xslt.err" ||
  fail "xsltproc failed: $(cat "$work/xslt.err")"
python3 - "$work/relaunch.planner" >"$work/planner-tasks" <<'PY' || fail "the Planner file cannot be read"
import sys
import xml.etree.ElementTree as ET
project = ET.parse(sys.argv[1]).getroot()
tasks = project.findall(".//task")
names = {t.get("id"): t.get("name") for t in tasks}
resources = {r.get("id"): r.get("name") for r in project.findall(".//resource")}
for t in tasks:
    links = ["%s %s" % (names[p.get("predecessor-id")], p.get("type"))
             for p in t.findall("predecessors/predecessor")]
    booked = [resources[a.get("resource-id")] for a in project.findall(".//allocation")
              if a.get("task-id") == t.get("id")]
    print("|".join([t.get("name"), t.get("start"), t.get("end"), t.get("percent-complete"),
                    ",".join(links), ",".join(booked)]))
PY
expect_file "$work/planner-tasks" "Kick-off|20260413T080000Z|20260413T170000Z|100||Ann
Wireframes & copy|20260414T080000Z|20260422T170000Z|60|Kick-off FS|Bob,Cléo
Design «final»|20260423T080000Z|20260430T170000Z|0|Wireframes & copy FS|Cléo
Build|20260504T080000Z|20260522T170000Z|0|Design «final» FS|Bob,Dan
Launch|20260525T080000Z|20260525T170000Z|0|Build FS|
" "the tasks Planner reads from to-project"

# --- A backup comes back: to-project, to-import, sync ------------------------
run "$csv" to-import --charset UTF-8 "$work/relaunch.xml"
expect_status 0 "to-import of to-project's output"
cp "$work/out" "$work/relaunch-import.csv"
sync_import "$work/relaunch-import.csv" round-trip --charset UTF-8
cmp -s "$backup" "$work/round-trip/data/KestrelDB.csv" ||
  fail "the backup does not come back: $(diff "$backup" "$work/round-trip/data/KestrelDB.csv")"

# IDs that are 0, negative or repeated and a date that is none come back as
# the handheld keeps them; the lines named are those that cannot.
printf '%s\n' "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names" \
  "0,1/5/2026,2 days,1/6/2026,,10%,Zero,Ann" \
  "-7,1/7/2026,1 days,1/7/2026,,0%,Negative,Ann, Bob" \
  "3,1/8/2026,1 days,1/8/2026,,0%,Three,Ann,Bob" \
  "3,1/9/2026,1 days,1/9/2026,3,0%,Three again," \
  "4,15/0/2031,1 days,1/9/2026,9,0%,No date," >"$work/odd.csv"
printf '%s' "$(cat "$work/odd.csv")" >"$work/odd-backup.csv"
run "$csv" to-project "$work/odd-backup.csv"
expect_status 1 "to-project of odd IDs"
cp "$work/out" "$work/odd.xml"
expect_file "$work/err" "kestrel-csv: $work/odd-backup.csv:4: the resource names \"Ann,Bob\" come back as \"Ann, Bob\"
kestrel-csv: $work/odd-backup.csv:5: the ID 3 is also on line 4: a predecessor 3 is linked to that line
kestrel-csv: $work/odd-backup.csv:6: the start 15/0/2031 is not a calendar date: the task is written without it
kestrel-csv: $work/odd-backup.csv:6: the predecessor 9 is the ID of no line: the task is written without it
" "what to-project names"
run "$csv" to-import "$work/odd.xml"
expect_status 1 "to-import of odd IDs"
cp "$work/out" "$work/odd-import.csv"
sync_import "$work/odd-import.csv" odd
expect_file "$work/odd/data/KestrelDB.csv" "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names
0,1/5/2026,2 days,1/6/2026,,10%,Zero,Ann
-7,1/7/2026,1 days,1/7/2026,,0%,Negative,Ann, Bob
3,1/8/2026,1 days,1/8/2026,,0%,Three,Ann, Bob
3,1/9/2026,1 days,1/9/2026,3,0%,Three again," "the backup of odd IDs"

# --- A spreadsheet's CSV file ------------------------------------------------
printf '\xEF\xBB\xBF"ID","Task Name","Name","Start","End","Duration","%% Complete","Resource Names","Predecessors"\r\n"1","x","Strip, sand",2026-06-01,2026-06-03,"3 days","100%%","Ann, Bob",""\r\n"2","x","Paint ""white""",2026-06-04,2026-06-05,2d,0.5,"Cléo","1"\r\n"3","x","Dry",2026-06-08,,1,0,,2\r\n' >"$work/sheet.csv"
run "$csv" to-import --charset UTF-8 "$work/sheet.csv"
expect_status 1 "to-import of a spreadsheet"
cp "$work/out" "$work/sheet-import.csv"
expect_file "$work/err" "kestrel-csv: $work/sheet.csv: read as a spreadsheet's CSV file
kestrel-csv: $work/sheet.csv:2: the name holds a comma, which would end it in the import: written with \";\"
" "what to-import names of the spreadsheet"
run "$csv" check --charset UTF-8 "$work/sheet-import.csv"
expect_status 0 "check of the spreadsheet's import"
expect_file "$work/err" "kestrel-csv: $work/sheet-import.csv:1: note: the name is read as \"Strip; sand\" and the rest of the line as the resource names
" "what check says of the spreadsheet's import"
expect_file "$work/out" "1: 1,6/1/2026,3 days,6/3/2026,,100%,Strip; sand,Ann, Bob
2: 2,6/4/2026,2 days,6/5/2026,1,50%,Paint \"white\",Cléo
3: 3,6/8/2026,1 days,6/8/2026,2,0%,Dry,
" "check of the spreadsheet's import"
sync_import "$work/sheet-import.csv" spreadsheet --charset UTF-8
expect_file "$work/spreadsheet/data/KestrelDB.csv" "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names
1,6/1/2026,3 days,6/3/2026,,100%,Strip; sand,Ann, Bob
2,6/4/2026,2 days,6/5/2026,1,50%,Paint \"white\",Cléo
3,6/8/2026,1 days,6/8/2026,2,0%,Dry," "the backup of the spreadsheet"

if [ "$failures" -ne 0 ]; then
  echo "planners_test.sh: $failures failures" >&2
  exit 1
fi
echo "planners_test.sh: all passed"
