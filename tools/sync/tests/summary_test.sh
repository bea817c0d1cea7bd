#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kestrel-sync's summary says everything a sync left out or emptied: the
# import file's skipped, quoted, NUL and UTF-16 lines and text past line 100,
# an import that empties KestrelDB (even with --quiet), task databases past
# the 100th, a handheld folder with no database file, "created" against
# "rewrote"; the sync log kept apart from every file of the handheld and
# data folders; a data folder inside the handheld folder; and --list.
# Usage: summary_test.sh KESTREL_SYNC REPO_ROOT WORK_DIR
set -uo pipefail
sync=$1 root=$2 work=$3
case "$work" in
  */test-work/*) ;;
  *) echo "summary_test.sh: $work is not a test-work folder" >&2; exit 2 ;;
esac
sample=$root/samples/handheld
. "$root/tests/test_work.sh"
start_work "$work"
run() {
  "$sync" "$@" </dev/null >"$work/out" 2>"$work/err"
  status=$?
}
expect_status() { [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1: $(cat "$work/err")"; }
expect_file() {  # FILE EXPECTED-TEXT WHAT
  local actual
  actual=$(cat "$1"; echo x)
  [ "${actual%x}" = "$2" ] || fail "$3: got [$(cat -A "$1")], expected [$(printf '%s' "$2" | cat -A)]"
}
lines() {
  L=
  local l
  for l in "$@"; do L+="$l"$'\n'; done
}
expect_same_folder() { diff -r "$sample" "$1" >/dev/null || fail "$2: the handheld folder changed"; }
new_case() {
  dir=$work/$1
  hh=$dir/handheld
  data=$dir/data
  mkdir -p "$dir" "$data"
  cp -R "$sample" "$hh"
}
backups() {  # the summary's first four lines for the sample handheld
  lines \
    "kestrel-sync: data folder $data (from --data-folder)" \
    "kestrel-sync: backed up \"Import\" to $data/ImportFromPilot.csv (1 task line)" \
    "kestrel-sync: backed up \"KestrelDB\" to $data/KestrelDB.csv (3 task lines)" \
    "kestrel-sync: backed up \"Website Relaunch\" to $data/Website Relaunch.csv (2 task lines)"
  B=$L
}
good='1,Mon 3/2/26,5 days,Fri 3/6/26,,100%,Plan the layout,Ann'

# --- what the import read, said line by line ----------------------------------------
# NAME|import file (printf format)|the summary's lines after the backups
while IFS='|' read -r name text said; do
  new_case "import-$name"
  printf '%b' "$text" >"$data/import.csv"
  run --data-folder "$data" "$hh"
  expect_status 0 "import $name"
  backups
  lines "${said//@/$data/import.csv}" "kestrel-sync: rewrote KestrelDB.pdb in $hh"
  L=${L//\\n/$'\n'}
  expect_file "$work/err" "$B$L" "import $name"
done <<EOF
numbered|$good\n5,,,,,,,\n$good\nno comma here\n|kestrel-sync: imported 2 tasks from @ (2 lines skipped: lines 2 and 4)
quoted|"1","Mon 5/4/26","5 days","Fri 5/8/26",,0%,"Quoted",Ann\n$good\n|kestrel-sync: imported 2 tasks from @ (0 lines skipped)\nkestrel-sync: line 1 of @ begins a field with a quotation mark: the import keeps the quotes as text and reads a quoted number as 0; save the file without quotes
nul|$good\n2,Mon 3/2/26,5 days,Fri 3/6/26,,0%,Nul\0here,Ann\n|kestrel-sync: imported 2 tasks from @ (0 lines skipped)\nkestrel-sync: line 2 of @ holds NUL bytes: the import does not read such a line as written; remove them
quotes|"1","Mon 5/4/26","5 days","Fri 5/8/26",,0%,"Quoted",Ann\n$good\n"3",Mon 3/2/26,5 days,Fri 3/6/26,,0%,Third,Ann\n|kestrel-sync: imported 3 tasks from @ (0 lines skipped)\nkestrel-sync: lines 1 and 3 of @ begin a field with a quotation mark: the import keeps the quotes as text and reads a quoted number as 0; save the file without quotes
nuls|2,Mon 3/2/26,5 days,Fri 3/6/26,,0%,Nul\0here,Ann\n$good\n3,Mon 3/2/26,5 days,Fri 3/6/26,,0%,Nul\0\0again,Ann\n|kestrel-sync: imported 3 tasks from @ (0 lines skipped)\nkestrel-sync: lines 1 and 3 of @ hold NUL bytes: the import does not read such a line as written; remove them
EOF

# UTF-16: every character followed by a NUL, after its byte-order mark.
new_case import-utf16
printf '%s\n' "$good" | perl -pe 's/(.)/$1\0/gs; $_ = "\xff\xfe$_" if $. == 1' >"$data/import.csv"
run -q --data-folder "$data" "$hh"
grep -qx "kestrel-sync: $data/import.csv is in UTF-16: the import reads it byte by byte and stores no usable task; save it as ANSI text" \
  <(run --data-folder "$data" "$hh"; cat "$work/err") || fail "utf16: $(cat "$work/err")"

# 120 lines: the 20 past the 100th are named, not taken for skipped ones.
new_case import-long
for i in $(seq 1 120); do echo "$((i % 100)),Mon 3/2/26,5 days,Fri 3/6/26,,0%,Task $i,Ann"; done >"$data/import.csv"
run --data-folder "$data" "$hh"
expect_status 0 "120 lines"
backups
lines "kestrel-sync: imported 100 tasks from $data/import.csv (0 lines skipped)" \
  "kestrel-sync: the lines of $data/import.csv after line 100 were not imported: the conduit reads the first 100 lines; import the rest at the next sync" \
  "kestrel-sync: rewrote KestrelDB.pdb in $hh"
expect_file "$work/err" "$B$L" "120 lines"

# --- an import of no task empties KestrelDB: said, even with --quiet --------------
new_case empty-import
: >"$data/import.csv"
run -q --data-folder "$data" "$hh"
expect_status 0 "empty import"
loud="kestrel-sync: \"KestrelDB\" is now empty: $data/import.csv holds no task to import; its tasks from before the import are in $data/KestrelDB.csv; keep that file before the next sync replaces it"
expect_file "$work/err" "$loud"$'\n' "empty import, --quiet"
cmp -s "$data/KestrelDB.csv" "$root/tools/sync/tests/expected/KestrelDB.csv" ||
  fail "empty import: KestrelDB.csv does not hold the tasks from before"
rm -rf "$dir"
new_case empty-import
: >"$data/import.csv"
run --data-folder "$data" "$hh"
backups
lines "kestrel-sync: imported 0 tasks from $data/import.csv (0 lines skipped)" "${loud#kestrel-sync: }" \
  "kestrel-sync: rewrote KestrelDB.pdb in $hh"
L=${L/$'\n'\"KestrelDB\"/$'\n'kestrel-sync: \"KestrelDB\"}
expect_file "$work/err" "$B$L" "empty import"

# --- 130 task databases: the 30 past the 100th named, exit 1 --------------------
new_case many
for i in $(seq -w 1 130); do
  perl -e 'open my $f, "<:raw", $ARGV[0] or die; local $/; my $b = <$f>;
    substr($b, 0, 32) = pack("a32", "Plan $ARGV[1]"); print $b' "$sample/Website.pdb" "$i" >"$hh/p$i.pdb"
done
run --data-folder "$data" "$hh"
expect_status 1 "130 databases"
named=$(grep -c '^kestrel-sync: "Plan [0-9]*" not backed up: it is database [0-9]* of the handheld'"'"'s list, and the conduit reads the first 100 databases$' "$work/err")
[ "$named" -eq 35 ] || fail "130 databases: $named named past the 100th: $(cat "$work/err")"
grep -qx 'kestrel-sync: "Plan 130" not backed up: it is database 135 of the handheld'"'"'s list, and the conduit reads the first 100 databases' "$work/err" ||
  fail "130 databases: the last one not named"
[ "$(tail -n 1 "$work/err")" = 'kestrel-sync: "Plan 096" was not backed up (and 34 more); conduit status 1 (0x0001)' ] ||
  fail "130 databases: $(tail -n 1 "$work/err")"
[ "$(ls "$data" | wc -l)" -eq 98 ] || fail "130 databases: $(ls "$data" | wc -l) backups"

# --- a task database too large for the memory left: named, exit 1 ----------------
# 60,000 records under an 8 MB address space (not under the sanitizers,
# which cannot start there).
deps=$(ldd "$sync" 2>/dev/null) || true
if [[ $deps != *libasan* && $deps != *libtsan* ]]; then
  new_case out-of-memory
  perl -e 'my $n = 60000;
    my $h = pack("a32 n n N N N N N N a4 a4 N N n", "Big Plan", 0, 0, 3855202200, 3855202200, 0, 1,
      0, 0, "Data", "Tkpl", 0, 0, $n);
    my $at = 78 + 8 * $n + 2; my ($e, $d) = ("", "");
    for my $id (1 .. $n) {
      $e .= pack("N C C3", $at + length($d), 0, $id >> 16, ($id >> 8) & 255, $id & 255);
      $d .= pack("C C n n n c c a32 a32", $id % 100, 0, 0xBC8D, 5, 0xBC91, 0, 0, "Task $id", "Ann");
    }
    print $h . $e . "\0\0" . $d' >"$hh/Big.pdb"
  cp "$hh/Big.pdb" "$dir/Big.pdb"
  run_cmd() { "$@" </dev/null >"$work/out" 2>"$work/err"; status=$?; }
  run_cmd bash -c 'ulimit -v 8000; exec "$0" "$@"' "$sync" --data-folder "$data" "$hh"
  expect_status 1 "out-of-memory open"
  backups
  lines "kestrel-sync: \"Big Plan\" not backed up: the handheld ran out of memory opening it; sync again with more memory free" \
    "kestrel-sync: the import did not run: no import file $data/import.csv" \
    "kestrel-sync: no handheld file rewritten" \
    "kestrel-sync: \"Big Plan\" was not backed up; conduit status 1 (0x0001)"
  expect_file "$work/err" "$B$L" "out-of-memory open"
  cmp -s "$dir/Big.pdb" "$hh/Big.pdb" || fail "out-of-memory open: Big.pdb changed"
  [ -e "$data/Big Plan.csv" ] && fail "out-of-memory open: a backup file was written"
fi

# --- a handheld folder with no database file: a warning, and "created" ------------
new_case no-palm-file
rm "$hh"/*
cp "$root/samples/import.csv" "$data/import.csv"
run --data-folder "$data" "$hh"
expect_status 0 "no Palm file"
lines \
  "kestrel-sync: data folder $data (from --data-folder)" \
  "kestrel-sync: $hh holds no Palm database file (*.pdb, *.prc): is it the data folder? A handheld folder holds the handheld's database files" \
  "kestrel-sync: no task database to back up" \
  "kestrel-sync: imported 5 tasks from $data/import.csv (1 line skipped: line 5)" \
  "kestrel-sync: created KestrelDB.pdb in $hh"
expect_file "$work/err" "$L" "no Palm file"
[ "$(ls "$hh")" = KestrelDB.pdb ] || fail "no Palm file: handheld folder holds $(ls "$hh")"

# --- the sync log is no file of the handheld or data folder ---------------------------
new_case log-same-file
"$sync" -q --data-folder "$data" "$hh" >/dev/null
mkdir -p "$data/history/backups/KestrelDB"
echo old >"$data/history/backups/KestrelDB/20260101-120000.csv"
ln "$hh/MemoDB.pdb" "$dir/memo.log"
ln -s "$data/KestrelDB.csv" "$dir/backup.log"
ln "$data/history/backups/KestrelDB/20260101-120000.csv" "$dir/old.log"
cp -a "$data" "$dir/data-before"
while IFS='|' read -r log same; do
  run --data-folder "$data" --log "$log" "$hh"
  expect_status 2 "log [$log]"
  expect_file "$work/err" "kestrel-sync: $log: the sync log is the file $same (a link to it); name a log file of its own"$'\n' "log [$log]"
  [ -s "$work/out" ] && fail "log [$log]: a sync ran"
done <<EOF
$dir/memo.log|$hh/MemoDB.pdb
$dir/backup.log|$data/KestrelDB.csv
$dir/old.log|$data/history/backups/KestrelDB/20260101-120000.csv
EOF
expect_same_folder "$hh" "log same file"
diff -r "$dir/data-before" "$data" >/dev/null || fail "log same file: the data folder changed"

# --- a data folder that is the handheld folder or lies in it: refused ----------------
new_case data-in-handheld
mkdir "$dir/inner"
cp "$root/samples/import.csv" "$dir/inner/"
for folder in "$hh" "$hh/inner"; do
  rm -rf "$hh/inner"
  cp -R "$dir/inner" "$hh/inner"
  run --data-folder "$folder" "$hh"
  expect_status 2 "data folder $folder"
  where=$([ "$folder" = "$hh" ] && echo "the handheld folder" || echo "inside the handheld folder")
  expect_file "$work/err" "kestrel-sync: $folder: the data folder (from --data-folder) is $where $hh; name a data folder outside it"$'\n' \
    "data folder $folder"
  rm -rf "$hh/inner"
  expect_same_folder "$hh" "data folder $folder"
done

# --- a dry run forecasts a full data disk --------------------------------------------
# The data folder on a small file system of its own (a tmpfs: only where this
# user may mount one). With 8 KiB left the three backups (a block each) do not
# fit: the dry run says so and exits 1, as the real sync then does. On 1 MiB
# they fit with less than 1 MiB to spare: "may not fit", exit 0.
new_case full-disk
small=$dir/small
mkdir -p "$small"
if mount -t tmpfs -o size=1m tmpfs "$small" 2>/dev/null; then
  trap 'umount "$small" 2>/dev/null' EXIT
  data=$small/data
  mkdir -p "$data"
  expected=$root/tools/sync/tests/expected
  need=$(($(cat "$expected/ImportFromPilot.csv" "$expected/KestrelDB.csv" "$expected/Website Relaunch.csv" | wc -c) + 3 * $(stat -f -c %S "$small")))
  free=$(($(stat -f -c '%a * %S' "$small")))
  run -n --data-folder "$data" "$hh"
  expect_status 0 "dry run, 1 MiB"
  grep -qx "kestrel-sync: dry run: the backups may not fit: they need $need bytes, $free are free on the file system of $data; make room before the sync" "$work/err" ||
    fail "dry run, 1 MiB: $(cat "$work/err")"
  head -c $((free - 8192)) /dev/zero >"$small/filler"
  free=$(($(stat -f -c '%a * %S' "$small")))
  run -n --data-folder "$data" "$hh"
  expect_status 1 "dry run, full disk"
  message="dry run: the backups would not fit: they need $need bytes, $free are free on the file system of $data; the sync would fail; make room before it"
  grep -qx "kestrel-sync: $message" "$work/err" || fail "dry run, full disk: $(cat "$work/err")"
  [ "$(tail -n 1 "$work/err")" = "kestrel-sync: $message" ] || fail "dry run, full disk: last line $(tail -n 1 "$work/err")"
  [ -z "$(ls "$data")" ] || fail "dry run, full disk: the data folder was written"
  run --data-folder "$data" "$hh"
  expect_status 1 "sync, full disk"
  umount "$small"
  trap - EXIT
else
  echo "note: no tmpfs can be mounted here; the full-disk forecast is not tried" >&2
fi

# --- --list ------------------------------------------------------------------------
new_case list
run --list "$hh"
expect_status 0 "--list"
lines \
  $'Import.pdb\t"Import"\tData\tTkpl\t0x0008\t1 record, 0 deleted\tbacked up to ImportFromPilot.csv' \
  $'KestrelDB.pdb\t"KestrelDB"\tData\tTkpl\t0x0008\t4 records, 1 deleted\tbacked up to KestrelDB.csv' \
  $'Kestrelplan.prc\t"Kestrelplan"\tappl\tTkpl\t0x0009\ta resource database\tnot a task database' \
  $'MemoDB.pdb\t"MemoDB"\tDATA\tmemo\t0x0008\t2 records, 0 deleted\tnot a task database' \
  $'Website.pdb\t"Website Relaunch"\tData\tTkpl\t0x0008\t3 records, 1 deleted\tbacked up to Website Relaunch.csv'
expect_file "$work/out" "$L" "--list"
[ -s "$work/err" ] && fail "--list wrote to standard error: $(cat "$work/err")"
expect_same_folder "$hh" "--list"
run --list "$dir/none"
expect_status 2 "--list of no folder"
expect_file "$work/err" "kestrel-sync: $dir/none: no such folder"$'\n' "--list of no folder"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "PASS: kestrel-sync summary"
