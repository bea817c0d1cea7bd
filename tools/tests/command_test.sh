#!/usr/bin/env bash
# kestrel-sync as a user runs it: the main job on the sample handheld, every
# exit status with its message, where the registry file is looked for, the
# sync log, a save that fails half way, and a second sync that rewrites
# nothing.
# Usage: command_test.sh KESTREL_SYNC REPO_ROOT WORK_DIR
set -uo pipefail
sync=$1 root=$2 work=$3
sample=$root/samples/handheld
expected=$root/tools/tests/expected

rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# run ARGS...: runs the command with $work/out, $work/err and $status.
run() {
  "$@" >"$work/out" 2>"$work/err"
  status=$?
}
expect_status() { [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"; }
expect_file() {  # FILE EXPECTED-TEXT WHAT
  local actual
  actual=$(cat "$1"; echo x)
  [ "${actual%x}" = "$2" ] || fail "$3: got [$(cat -A "$1")], expected [$(printf '%s' "$2" | cat -A)]"
}
expect_same_folder() {  # DIR WHAT: DIR holds exactly the sample's files, byte for byte
  diff -r "$sample" "$1" >/dev/null || fail "$2: the handheld folder changed"
}

# case NAME: a fresh handheld folder $hh copied from the sample and an empty
# data folder $data, under $work/NAME.
new_case() {
  dir=$work/$1
  hh=$dir/handheld
  data=$dir/data
  mkdir -p "$dir" "$data"
  cp -R "$sample" "$hh"
}

registry_file() {  # FILE DATA_FOLDER
  mkdir -p "$(dirname "$1")"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\r\n"Kestrelplan Path"="%s"\r\n' "$2" >"$1"
}

# Inode, size and modification time of every file: what a rewrite changes.
fingerprint() { (cd "$1" && stat -c '%n %i %s %Y' -- * | sort); }

usage_line='Usage: kestrel-sync [--registry FILE | --data-folder DIR] [--log FILE] HANDHELD_DIR'

# --- help and version --------------------------------------------------------
run "$sync" --help
expect_status 0 "--help"
[ "$(head -n 1 "$work/out")" = "$usage_line" ] || fail "--help: first line $(head -n 1 "$work/out")"
[ -s "$work/err" ] && fail "--help wrote to standard error"

run "$sync" --version
expect_status 0 "--version"
expect_file "$work/out" $'Kestrelplan 1.01\n' "--version"

# --- usage errors: exit 2, one line on standard error, nothing touched -------
new_case usage
while IFS='|' read -r args message; do
  eval "run \"\$sync\" $args"
  expect_status 2 "usage [$args]"
  expect_file "$work/err" "kestrel-sync: $message"$'\n' "usage [$args]"
  [ -s "$work/out" ] && fail "usage [$args] wrote to standard output"
done <<EOF
|no handheld folder given (see kestrel-sync --help)
--frobnicate "\$hh"|unknown option --frobnicate (see kestrel-sync --help)
"\$hh" "\$hh"|more than one handheld folder given: $hh, $hh
--registry r.reg --data-folder "\$data" "\$hh"|--registry and --data-folder cannot be used together
"\$hh" --log|--log needs a file
--data-folder "\$data" "\$dir/none"|$dir/none: no such folder
--data-folder "\$data" "\$hh/MemoDB.pdb"|$hh/MemoDB.pdb: not a folder
--registry "\$dir/none.reg" "\$hh"|$dir/none.reg: cannot read: No such file or directory
--registry "\$dir" "\$hh"|$dir: cannot read: it is a folder
EOF
expect_same_folder "$hh" "usage errors"
[ -z "$(ls "$data")" ] || fail "usage errors wrote to the data folder"

# A registry file that cannot be parsed stops the command before the sync.
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\nKestrelplan Path=%s\n' \
  "$data" >"$dir/bad.reg"
run "$sync" --registry "$dir/bad.reg" "$hh"
expect_status 2 "bad registry file"
expect_file "$work/err" \
  "kestrel-sync: $dir/bad.reg:4: expected a [key] line or a \"name\"=value line"$'\n' \
  "bad registry file"
[ -s "$work/out" ] && fail "bad registry file: a sync ran"

# --- the main job -------------------------------------------------------------
new_case main
cp "$root/samples/import.csv" "$data/import.csv"
run "$sync" --data-folder "$data" "$hh"
expect_status 0 "main job"
cmp -s "$work/out" "$expected/main-job.log" || fail "main job: the sync log differs: $(cat -A "$work/out")"
for name in KestrelDB "Website Relaunch" ImportFromPilot; do
  cmp -s "$data/$name.csv" "$expected/$name.csv" || fail "main job: $name.csv differs"
done
[ "$(ls "$data" | wc -l)" -eq 4 ] || fail "main job: data folder holds $(ls "$data")"
for f in Import.pdb Kestrelplan.prc MemoDB.pdb Website.pdb; do
  cmp -s "$sample/$f" "$hh/$f" || fail "main job rewrote $f"
done
cmp -s "$sample/KestrelDB.pdb" "$hh/KestrelDB.pdb" && fail "main job left KestrelDB.pdb as it was"
ls "$hh" | grep -q kestrel-new && fail "main job left a new file behind"

# A second sync of the unchanged handheld rewrites nothing (no import file
# now, so the conduit's status is 1).
rm "$data/import.csv"
before=$(fingerprint "$hh")
sleep 1
run "$sync" --data-folder "$data" "$hh"
expect_status 1 "second sync"
expect_file "$work/err" $'kestrel-sync: conduit status 1 (0x0001)\n' "second sync"
expect_file "$work/out" $'19\t\n20\tKestrelplan\n' "second sync log"
[ "$(fingerprint "$hh")" = "$before" ] || fail "second sync rewrote a file"

# --- the registry file: option, then environment, then the default place ------
new_case registry
unset KESTRELPLAN_REGISTRY XDG_CONFIG_HOME
for place in option env xdg home; do mkdir -p "$dir/$place-data"; done
registry_file "$dir/option.reg" "$dir/option-data"
registry_file "$dir/env.reg" "$dir/env-data"
registry_file "$dir/xdg/kestrelplan/registry.reg" "$dir/xdg-data"
registry_file "$dir/home/.config/kestrelplan/registry.reg" "$dir/home-data"
# Which data folder got the backups, for each way of naming the file.
while IFS='|' read -r place command; do
  eval "run $command"
  expect_status 1 "registry from $place"
  for other in option env xdg home; do
    if [ "$other" = "$place" ]; then
      [ -f "$dir/$other-data/KestrelDB.csv" ] || fail "registry from $place: no backup"
    else
      [ -f "$dir/$other-data/KestrelDB.csv" ] && fail "registry from $place: backup in $other"
    fi
  done
  rm -f "$dir"/*-data/*.csv
done <<EOF
option|env KESTRELPLAN_REGISTRY="\$dir/env.reg" "\$sync" --registry "\$dir/option.reg" "\$hh"
env|env KESTRELPLAN_REGISTRY="\$dir/env.reg" XDG_CONFIG_HOME="\$dir/xdg" "\$sync" "\$hh"
xdg|env KESTRELPLAN_REGISTRY= XDG_CONFIG_HOME="\$dir/xdg" HOME="\$dir/home" "\$sync" "\$hh"
home|env XDG_CONFIG_HOME= HOME="\$dir/home" "\$sync" "\$hh"
EOF
# No registry file at the default place: the conduit finds no data folder.
run env HOME="$dir/nobody" "$sync" "$hh"
expect_status 0 "no registry"
expect_file "$work/out" $'19\t\n20\tKestrelplan\n' "no registry log"
# A registry file named by the environment must be there.
run env KESTRELPLAN_REGISTRY="$dir/missing.reg" "$sync" "$hh"
expect_status 2 "missing registry file"
expect_file "$work/err" "kestrel-sync: $dir/missing.reg: cannot read: No such file or directory"$'\n' \
  "missing registry file"

# --- the sync log appended to a file -------------------------------------------
new_case log
printf 'earlier\n' >"$dir/sync.log"
run "$sync" --log "$dir/sync.log" --data-folder "$data" "$hh"
run "$sync" --data-folder "$data" --log="$dir/sync.log" "$hh"
expect_status 1 "--log"
[ -s "$work/out" ] && fail "--log: the log went to standard output"
expect_file "$dir/sync.log" $'earlier\n19\t\n20\tKestrelplan\n19\t\n20\tKestrelplan\n' "--log file"
run "$sync" --log "$dir/no/such/folder.log" --data-folder "$data" "$hh"
expect_status 2 "--log in a missing folder"
expect_file "$work/err" "kestrel-sync: $dir/no/such/folder.log: cannot open the log"$'\n' \
  "--log in a missing folder"

# --- another conduit status: KestrelDB is a resource database -----------------
new_case resource
rm "$hh/KestrelDB.pdb"
printf 'KestrelDB\0' | dd of="$hh/Kestrelplan.prc" conv=notrunc status=none
cp "$hh/Kestrelplan.prc" "$dir/prc"
cp "$root/samples/import.csv" "$data/import.csv"
run "$sync" --data-folder "$data" "$hh"
expect_status 1 "resource KestrelDB"
expect_file "$work/err" $'kestrel-sync: conduit status 16393 (0x4009)\n' "resource KestrelDB"
expect_file "$work/out" \
  $'19\t\n10\tCould not clear the database on the PalmPilot.\n-1\t\tImport.csv transferred to Kestrelplan\n20\tKestrelplan\n' \
  "resource KestrelDB log"
cmp -s "$dir/prc" "$hh/Kestrelplan.prc" || fail "resource KestrelDB: the file was rewritten"

# --- a save that fails half way --------------------------------------------------
# Files may grow to 4 KiB only, and the signal for going past is ignored, so
# writing the new KestrelDB.pdb (100 records, over 8 KiB) fails part way.
new_case halfway
for i in $(seq 1 120); do
  echo "$((i % 100)),Mon 3/2/26,5 days,Fri 3/6/26,,0%,Task $i,Ann"
done >"$data/import.csv"
run bash -c 'trap "" XFSZ; ulimit -f 4; exec "$0" "$@"' "$sync" --data-folder "$data" "$hh"
expect_status 2 "half-way save"
expect_file "$work/err" "kestrel-sync: $hh/KestrelDB.pdb: cannot write the new file: File too large"$'\n' \
  "half-way save"
expect_same_folder "$hh" "half-way save"
grep -q $'^-1\t\tImport.csv transferred to Kestrelplan$' "$work/out" ||
  fail "half-way save: the sync log was not printed"

# --- scripts/run-sample, the README's main job --------------------------------
sample_before=$(cd "$sample" && cksum -- * "$root/samples/import.csv")
TMPDIR=$work KESTREL_SYNC=$sync bash "$root/scripts/run-sample" >"$work/out" 2>"$work/err"
status=$?
expect_status 0 "run-sample"
sed 's|^Scratch copy: .*|Scratch copy: SCRATCH|' "$work/out" >"$work/out.shown"
cmp -s "$work/out.shown" "$expected/run-sample.txt" ||
  fail "run-sample: output differs: $(diff "$expected/run-sample.txt" "$work/out.shown")"
[ "$(cd "$sample" && cksum -- * "$root/samples/import.csv")" = "$sample_before" ] ||
  fail "run-sample changed the repository's sample"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "PASS: kestrel-sync command"
