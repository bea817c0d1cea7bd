#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kestrel-sync as a user runs it, on Linux or as kestrel-sync.exe under Wine:
# the main job on the sample handheld with its summary, every exit status
# with its message, the sync log, one sync per handheld folder, and a second
# sync that rewrites nothing. On Linux also the registry file, files that are
# not regular files, the log cases, a dry run and a save that fails half way.
# Under Wine text files and the program's output end their lines in CR LF,
# paths are Windows paths and the data folder is the Windows registry's.
# Usage: sync_test.sh linux KESTREL_SYNC REPO_ROOT WORK_DIR
#        sync_test.sh wine KESTREL_SYNC_EXE REPO_ROOT WORK_DIR WINE_PREFIX
set -uo pipefail
platform=$1 sync=$2 root=$3 work=$4
# The work folder is emptied first: only ever one of the build's own.
case "$work" in
  */test-work/*) ;;
  *) echo "sync_test.sh: $work is not a test-work folder" >&2; exit 2 ;;
esac
sample=$root/samples/handheld
expected=$root/tools/sync/tests/expected

if [ "$platform" = wine ]; then
  export WINEPREFIX=$5 WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  unset DISPLAY WAYLAND_DISPLAY
  key='HKLM\SOFTWARE\Norvane\Kestrelplan\1.00'
  eol=$'\r\n'
  sep='\'
  p() { winepath -w "$1" 2>/dev/null; }
  run() {
    wine "$sync" "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
  }
  set_data_folder() { wine reg add "$key" /v "Kestrelplan Path" /d "$(p "$1")" /f >/dev/null 2>&1; }
  remove_data_folder() { wine reg delete "$key" /f >/dev/null 2>&1 || true; }
  df=()
  source_text="the registry value \"Kestrelplan Path\" of HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00"
else
  eol=$'\n'
  sep=/
  p() { printf '%s' "$1"; }
  run() { run_cmd "$sync" "$@"; }
  set_data_folder() { df=(--data-folder "$1"); }
  remove_data_folder() { df=(); }
  source_text=--data-folder
fi

# run_cmd COMMAND...: any command, with $work/out, $work/err and $status.
run_cmd() {
  "$@" </dev/null >"$work/out" 2>"$work/err"
  status=$?
}

. "$root/tests/test_work.sh"
start_work "$work"
# The text with each line break as the platform writes it.
native() { if [ "$platform" = wine ]; then perl -pe 's/\n/\r\n/'; else cat; fi; }
expect_status() { [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"; }
expect_file() {  # FILE EXPECTED-TEXT WHAT
  local actual
  actual=$(cat "$1"; echo x)
  [ "${actual%x}" = "$2" ] || fail "$3: got [$(cat -A "$1")], expected [$(printf '%s' "$2" | cat -A)]"
}
expect_native_of() {  # FILE LF-FILE WHAT: FILE is LF-FILE with the platform's line breaks
  native <"$2" | cmp -s - "$1" || fail "$3: got [$(cat -A "$1")]"
}
# Sets $L to the lines given, one per argument, each ending in the
# platform's line break.
lines() {
  L=
  local l
  for l in "$@"; do L+="$l$eol"; done
}
expect_same_folder() {  # DIR WHAT: DIR holds exactly the sample's files, byte for byte
  diff -r "$sample" "$1" >/dev/null || fail "$2: the handheld folder changed"
}
# Inode, size and modification time of every file: what a rewrite changes.
fingerprint() { (cd "$1" && stat -c '%n %i %s %.9Y' -- *) | LC_ALL=C sort; }

# sanitized: whether kestrel-sync is a sanitizer build, which cannot start
# under a small address-space limit. ldd's output is read whole first: a
# reader that stops at the first match could kill it with SIGPIPE.
sanitized() {
  local deps
  deps=$(ldd "$sync" 2>/dev/null) || true
  [[ $deps == *libasan* || $deps == *libtsan* ]]
}

# holds_new_file DIR: whether DIR holds a .kestrel-new file.
holds_new_file() {
  local names
  names=$(ls -- "$1")
  [[ $names == *kestrel-new* ]]
}

# new_case NAME: a fresh handheld folder $hh copied from the sample and an
# empty data folder $data that the run is configured with, under $work/NAME.
new_case() {
  dir=$work/$1
  hh=$dir/handheld
  data=$dir/data
  mkdir -p "$dir" "$data"
  cp -R "$sample" "$hh"
  set_data_folder "$data"
}

# --- help and version ----------------------------------------------------------
run --help
expect_status 0 "--help"
[ "$(head -n 1 "$work/out")" = "Usage: kestrel-sync [OPTION]... HANDHELD_DIR${eol%$'\n'}" ] ||
  fail "--help: first line $(head -n 1 "$work/out" | cat -A)"
[ -s "$work/err" ] && fail "--help wrote to standard error"
run -h
expect_status 0 "-h"
grep -q -- '--log FILE' "$work/out" || fail "-h: no --log in the help"
if [ "$platform" = wine ]; then
  grep -q -- '--registry\|--data-folder\|--dry-run' "$work/out" && fail "-h lists what the .exe does not accept"
else
  for option in --registry --data-folder --dry-run --quiet --timings --version; do
    grep -q -- "$option" "$work/out" || fail "-h: no $option in the help"
  done
fi
lines "kestrel-sync 1.01 (Kestrelplan conduit)" \
  "Copyright (c) 2026 The Kestrelplan conduit authors" \
  "License MIT: <https://opensource.org/licenses/MIT>." \
  "This is free software: you are free to change and redistribute it." \
  "There is NO WARRANTY, to the extent permitted by law."
for option in --version -V; do
  run "$option"
  expect_status 0 "$option"
  expect_file "$work/out" "$L" "$option"
done

# --- refusals: exit 2, one line on standard error, nothing touched -------------
new_case usage
while IFS='|' read -r args message; do
  eval "run $args"
  expect_status 2 "usage [$args]"
  expect_file "$work/err" "kestrel-sync: $message$eol" "usage [$args]"
  [ -s "$work/out" ] && fail "usage [$args] wrote to standard output"
done <<EOF
|no handheld folder given (see kestrel-sync --help)
--frobnicate "\$(p "\$hh")"|unknown option --frobnicate (see kestrel-sync --help)
"\$(p "\$hh")" --log|--log needs a file (see kestrel-sync --help)
--quite "\$(p "\$hh")"|unknown option --quite; did you mean --quiet?
-qx "\$(p "\$hh")"|unknown option -x (see kestrel-sync --help)
"\$(p "\$dir")${sep}none"|$(p "$dir")${sep}none: no such folder
"\$(p "\$hh")${sep}MemoDB.pdb"|$(p "$hh")${sep}MemoDB.pdb: not a folder
EOF
expect_same_folder "$hh" "refusals"
[ -z "$(ls "$data")" ] || fail "refusals wrote to the data folder"

# A file that is not a well-formed Palm database stops the command before the
# sync, naming the file.
new_case malformed
head -c 50 /dev/zero | tr '\0' x >"$hh/short.pdb"
cp "$hh/short.pdb" "$dir/short.pdb"
run "${df[@]}" "$(p "$hh")"
expect_status 2 "malformed file"
expect_file "$work/err" \
  "kestrel-sync: $(p "$hh")${sep}short.pdb: file too short: 50 bytes, a header needs 78$eol" \
  "malformed file"
[ -s "$work/out" ] && fail "malformed file: a sync ran"
cmp -s "$dir/short.pdb" "$hh/short.pdb" || fail "malformed file: it was changed"
rm "$hh/short.pdb"
expect_same_folder "$hh" "malformed file"
[ -z "$(ls "$data")" ] || fail "malformed file: the data folder was written"

if [ "$platform" = wine ]; then
  # Without kstlcond.dll beside it the program cannot load the conduit.
  mkdir -p "$dir/no-conduit"
  cp "$sync" "$(dirname "$sync")/SYNC20.dll" "$(dirname "$sync")/HSLOG20.dll" "$dir/no-conduit/"
  sync_saved=$sync
  sync=$dir/no-conduit/$(basename "$sync")
  run "$(p "$hh")"
  sync=$sync_saved
  expect_status 2 "no conduit"
  grep -q 'kstlcond.dll: cannot load the conduit (error ' "$work/err" ||
    fail "no conduit: $(cat "$work/err")"
  expect_same_folder "$hh" "no conduit"
fi

# --- the main job, its summary, and a second sync without an import file --------
main_job() {  # NAME IMPORT-FILE
  new_case "$1"
  cp "$2" "$data/import.csv"
  run "${df[@]}" "$(p "$hh")"
  expect_status 0 "$1"
  expect_native_of "$work/out" "$expected/main-job.log" "$1: sync log"
  local d
  d=$(p "$data")
  lines \
    "kestrel-sync: data folder $d (from $source_text)" \
    "kestrel-sync: backed up \"Import\" to $d${sep}ImportFromPilot.csv (1 task line)" \
    "kestrel-sync: backed up \"KestrelDB\" to $d${sep}KestrelDB.csv (3 task lines)" \
    "kestrel-sync: backed up \"Website Relaunch\" to $d${sep}Website Relaunch.csv (2 task lines)" \
    "kestrel-sync: imported 5 tasks from $d${sep}import.csv (1 line skipped: line 5)" \
    "kestrel-sync: rewrote KestrelDB.pdb in $(p "$hh")"
  expect_file "$work/err" "$L" "$1: summary"
  for name in KestrelDB "Website Relaunch" ImportFromPilot; do
    expect_native_of "$data/$name.csv" "$expected/$name.csv" "$1: $name.csv"
  done
  # The three backups, the import file, and the history that keeps the import.
  [ "$(ls "$data" | wc -l)" -eq 5 ] && [ -d "$data/history/imports" ] ||
    fail "$1: data folder holds $(ls "$data")"
  for f in Import.pdb Kestrelplan.prc MemoDB.pdb Website.pdb; do
    cmp -s "$sample/$f" "$hh/$f" || fail "$1 rewrote $f"
  done
  cmp -s "$sample/KestrelDB.pdb" "$hh/KestrelDB.pdb" && fail "$1 left KestrelDB.pdb as it was"
  holds_new_file "$hh" && fail "$1 left a new file behind"

  # A backup-only sync: the whole job when there is no import file.
  rm "$data/import.csv"
  local before
  before=$(fingerprint "$hh")
  run "${df[@]}" --log - "$(p "$hh")"
  expect_status 0 "$1, second sync"
  lines 19$'\t' $'20\tKestrelplan'
  expect_file "$work/out" "$L" "$1, second sync log"
  # KestrelDB's backup changed: Linux names the generation that keeps the
  # first one; kestrel-sync.exe cannot read the conduit's report of it.
  local kept=()
  if [ "$platform" = linux ]; then
    local generation
    generation=$(ls "$data/history/backups/KestrelDB")
    kept=("kestrel-sync: kept the previous KestrelDB.csv as $d/history/backups/KestrelDB/$generation")
  fi
  lines \
    "kestrel-sync: data folder $d (from $source_text)" \
    "kestrel-sync: backed up \"Import\" to $d${sep}ImportFromPilot.csv (1 task line)" \
    "kestrel-sync: backed up \"KestrelDB\" to $d${sep}KestrelDB.csv (5 task lines)" \
    "${kept[@]}" \
    "kestrel-sync: backed up \"Website Relaunch\" to $d${sep}Website Relaunch.csv (2 task lines)" \
    "kestrel-sync: the import did not run: no import file $d${sep}import.csv" \
    "kestrel-sync: no handheld file rewritten"
  expect_file "$work/err" "$L" "$1, second sync summary"
  [ "$(fingerprint "$hh")" = "$before" ] || fail "$1, second sync rewrote a file"
  expect_native_of "$data/KestrelDB.csv" "$expected/KestrelDB-imported.csv" \
    "$1, second sync: KestrelDB.csv"
}
main_job main "$root/samples/import.csv"
if [ "$platform" = wine ]; then
  # An import file written on Windows, with CR LF line ends, reads the same.
  perl -pe 's/\n/\r\n/' <"$root/samples/import.csv" >"$work/import-crlf.csv"
  main_job crlf-import "$work/import-crlf.csv"
fi

# --- quiet, and a failure: no data folder configured -----------------------------
new_case no-data-folder
cp "$root/samples/import.csv" "$data/import.csv"
remove_data_folder
if [ "$platform" = wine ]; then
  nothing="the registry has no value \"Kestrelplan Path\" of HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00"
  run --quiet "$(p "$hh")"
else
  nothing="no registry file $dir/nobody/.config/kestrelplan/registry.reg (see --registry and --data-folder)"
  run_cmd env -u KESTRELPLAN_REGISTRY -u XDG_CONFIG_HOME HOME="$dir/nobody" "$sync" --quiet "$hh"
fi
expect_status 1 "no data folder"
lines 19$'\t' $'20\tKestrelplan'
expect_file "$work/out" "$L" "no data folder: log"
expect_file "$work/err" \
  "kestrel-sync: no data folder is configured: $nothing; conduit status 0 (0x0000)$eol" \
  "no data folder"
[ "$(ls "$data")" = import.csv ] || fail "no data folder: data folder holds $(ls "$data")"
expect_same_folder "$hh" "no data folder"

# --- the sync log appended to a file ----------------------------------------------
new_case log
printf "earlier$eol" >"$dir/sync.log"
run "${df[@]}" -q --log "$(p "$dir/sync.log")" "$(p "$hh")"
run "${df[@]}" -q "$(p "$hh")" --log="$(p "$dir/sync.log")"
expect_status 0 "--log"
[ -s "$work/out" ] && fail "--log: the log went to standard output"
[ -s "$work/err" ] && fail "--log -q: wrote to standard error: $(cat "$work/err")"
# Each run's entries after a line naming the version, the time in UTC and
# the handheld folder.
run_line="# kestrel-sync 1.01 TIME $(p "$hh")"
lines earlier "$run_line" 19$'\t' $'20\tKestrelplan' "$run_line" 19$'\t' $'20\tKestrelplan'
sed -E 's/^(# kestrel-sync 1\.01 )[0-9]{4}-[0-1][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-6][0-9]Z /\1TIME /' \
  "$dir/sync.log" >"$work/log-shown"
expect_file "$work/log-shown" "$L" "--log file"
run "${df[@]}" --log "$(p "$dir")${sep}no${sep}such${sep}folder.log" "$(p "$hh")"
expect_status 2 "--log in a missing folder"
if [ "$platform" = linux ]; then
  expect_file "$work/err" "kestrel-sync: $dir/no/such/folder.log: cannot open: No such file or directory$eol" \
    "--log in a missing folder"
fi
# The log inside the handheld folder would be taken for a database's file.
run "${df[@]}" --log "$(p "$hh")${sep}sync.pdb" "$(p "$hh")"
expect_status 2 "--log in the handheld folder"
expect_file "$work/err" \
  "kestrel-sync: $(p "$hh")${sep}sync.pdb: the sync log cannot go into the handheld folder $(p "$hh")$eol" \
  "--log in the handheld folder"
expect_same_folder "$hh" "--log in the handheld folder"

# --- another failure: KestrelDB is a resource database ------------------------------
new_case resource
rm "$hh/KestrelDB.pdb"
printf 'KestrelDB\0' | dd of="$hh/Kestrelplan.prc" conv=notrunc status=none
cp "$hh/Kestrelplan.prc" "$dir/prc"
cp "$root/samples/import.csv" "$data/import.csv"
run "${df[@]}" -q "$(p "$hh")"
expect_status 1 "resource KestrelDB"
expect_file "$work/err" \
  "kestrel-sync: the import failed: the handheld refused to clear \"KestrelDB\" (status 16393 (0x4009)); conduit status 16393 (0x4009)$eol" \
  "resource KestrelDB"
lines 19$'\t' '10	Could not clear the database on the PalmPilot.' \
  $'-1\t\tImport.csv transferred to Kestrelplan' $'20\tKestrelplan'
expect_file "$work/out" "$L" "resource KestrelDB log"
cmp -s "$dir/prc" "$hh/Kestrelplan.prc" || fail "resource KestrelDB: the file was rewritten"

# --- a read-only KestrelDB: the handheld refuses to clear it -------------------------
new_case read-only
cp "$hh/KestrelDB.pdb" "$dir/KestrelDB.pdb"
printf '\x00\x02' | dd of="$hh/KestrelDB.pdb" bs=1 seek=32 conv=notrunc status=none
cp "$hh/KestrelDB.pdb" "$dir/locked.pdb"
cp "$root/samples/import.csv" "$data/import.csv"
run "${df[@]}" -q "$(p "$hh")"
expect_status 1 "read-only KestrelDB"
lines 19$'\t' '10	Could not clear the database on the PalmPilot.' \
  $'-1\t\tImport.csv transferred to Kestrelplan' $'20\tKestrelplan'
expect_file "$work/out" "$L" "read-only KestrelDB log"
cmp -s "$dir/locked.pdb" "$hh/KestrelDB.pdb" || fail "read-only KestrelDB: the file was rewritten"

# --- one sync per handheld folder ---------------------------------------------------
# Pairs of syncs on one folder: every run either did its whole job (exit 0,
# KestrelDB the import's, whole) or was refused at once (exit 2), and at
# least one of each pair ran.
new_case concurrent
for i in $(seq 1 120); do
  echo "$((i % 100)),Mon 3/2/26,5 days,Fri 3/6/26,,0%,Task $i,Ann"
done >"$dir/a.csv"
sed 's/,Ann$/,Bob/' "$dir/a.csv" >"$dir/b.csv"
mkdir -p "$dir/data-a" "$dir/data-b"
cp "$dir/a.csv" "$dir/data-a/import.csv"
cp "$dir/b.csv" "$dir/data-b/import.csv"
# Under Wine both runs of a pair use the registry's one data folder.
set_data_folder "$dir/data-a"
run_into() {  # DATA OUT: one sync of $hh with DATA's import file
  if [ "$platform" = wine ]; then
    wine "$sync" -q "$(p "$hh")" </dev/null >"$2.out" 2>"$2.err"
  else
    "$sync" -q --data-folder "$1" "$hh" </dev/null >"$2.out" 2>"$2.err"
  fi
  echo $? >"$2.status"
}
pairs=$([ "$platform" = wine ] && echo 5 || echo 40)
refused=0
for pair in $(seq 1 "$pairs"); do
  run_into "$dir/data-a" "$work/pa" & run_into "$dir/data-b" "$work/pb" & wait
  ran=0
  for x in pa pb; do
    case "$(cat "$work/$x.status")" in
      0) ran=$((ran + 1)) ;;
      2) refused=$((refused + 1))
         grep -qx "kestrel-sync: $(p "$hh" | sed 's/[][\\.*^$]/\\&/g'): another sync is using this handheld folder.\?" "$work/$x.err" ||
           fail "concurrent pair $pair: refusal says $(cat "$work/$x.err")"
         [ -s "$work/$x.out" ] && fail "concurrent pair $pair: a refused run wrote a sync log" ;;
      *) fail "concurrent pair $pair: exit status $(cat "$work/$x.status"): $(cat "$work/$x.err")" ;;
    esac
  done
  [ "$ran" -ge 1 ] || fail "concurrent pair $pair: neither sync ran"
  holds_new_file "$hh" && fail "concurrent pair $pair: a new file was left behind"
  [ "$(ls "$hh" | wc -l)" -eq 5 ] || fail "concurrent pair $pair: handheld folder holds $(ls "$hh")"
  # Both imports give a KestrelDB.pdb of one size: a whole one, from one sync.
  size=$(stat -c %s "$hh/KestrelDB.pdb")
  [ "$pair" -eq 1 ] && whole=$size
  [ "$size" -eq "$whole" ] || fail "concurrent pair $pair: KestrelDB.pdb of $size bytes, not $whole"
done
[ "$whole" -gt 8000 ] || fail "concurrent: KestrelDB.pdb of $whole bytes does not hold the import"
echo "concurrent: $refused of $((2 * pairs)) runs refused" >&2

if [ "$platform" = linux ]; then
  # A held lock: a sync while another holds the folder changes nothing.
  new_case locked
  cp "$root/samples/import.csv" "$data/import.csv"
  # The holder says when it has the lock and keeps it until told to let go,
  # so the sync meets a held lock however busy the machine is.
  mkfifo "$dir/locked" "$dir/release"
  flock -o "$hh" sh -c 'echo >"$1"; read -r _ <"$2"' sh "$dir/locked" "$dir/release" \
    </dev/null >/dev/null 2>&1 &
  holder=$!
  read -r _ <"$dir/locked"
  run --data-folder "$data" "$hh"
  echo >"$dir/release"
  wait "$holder"
  expect_status 2 "locked folder"
  expect_file "$work/err" "kestrel-sync: $hh: another sync is using this handheld folder$eol" "locked folder"
  [ -s "$work/out" ] && fail "locked folder: a sync ran"
  expect_same_folder "$hh" "locked folder"
  [ "$(ls "$data")" = import.csv ] || fail "locked folder: the data folder was written"
fi

if [ "$platform" = wine ]; then
  remove_data_folder
  if [ "$failures" -ne 0 ]; then
    echo "$failures failure(s)" >&2
    exit 1
  fi
  echo "PASS: kestrel-sync.exe under Wine"
  exit 0
fi

# ==== Linux only ======================================================================

registry_file() {  # FILE DATA_FOLDER [KEY]
  mkdir -p "$(dirname "$1")"
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"Kestrelplan Path"="%s"\r\n' \
    "${3:-HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00}" "$2" >"$1"
}

# --- refusals of the registry file and of options --------------------------------
new_case registry-refusals
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\nKestrelplan Path=%s\n' \
  "$data" >"$dir/bad.reg"
mkfifo "$dir/fifo.reg"
truncate -s 5G "$dir/huge.reg"
while IFS='|' read -r args message; do
  eval "run $args"
  expect_status 2 "registry [$args]"
  expect_file "$work/err" "kestrel-sync: $message$eol" "registry [$args]"
  [ -s "$work/out" ] && fail "registry [$args] wrote to standard output"
done <<EOF
"\$hh" "\$hh"|more than one handheld folder given: $hh, $hh
--registry r.reg --data-folder "\$data" "\$hh"|--registry and --data-folder cannot be used together
--registry "\$dir" "\$hh"|$dir: not a regular file: it is a folder
--registry "\$dir/bad.reg" "\$hh"|$dir/bad.reg:4: expected a [key] line or a "name"=value line
--registry "\$dir/fifo.reg" "\$hh"|$dir/fifo.reg: not a regular file
--registry /dev/zero "\$hh"|/dev/zero: not a regular file
--registry "\$dir/huge.reg" "\$hh"|$dir/huge.reg: too large: 5368709120 bytes, at most 67108864 are read
EOF
# The oversized registry file is refused before it is read: so also within
# 100 MB of address space (not under the sanitizers, which need more to start).
if ! sanitized; then
  run_cmd bash -c 'ulimit -v 100000; exec "$0" "$@"' "$sync" --registry "$dir/huge.reg" "$hh"
  expect_status 2 "huge registry file, memory limit"
  expect_file "$work/err" \
    "kestrel-sync: $dir/huge.reg: too large: 5368709120 bytes, at most 67108864 are read$eol" \
    "huge registry file, memory limit"
fi
# The default place is optional, but what stands there must be a registry file.
mkdir -p "$dir/xdg/kestrelplan"
mkfifo "$dir/xdg/kestrelplan/registry.reg"
run_cmd env -u KESTRELPLAN_REGISTRY XDG_CONFIG_HOME="$dir/xdg" timeout 10 "$sync" "$hh"
expect_status 2 "a FIFO at the default registry place"
expect_file "$work/err" "kestrel-sync: $dir/xdg/kestrelplan/registry.reg: not a regular file$eol" \
  "a FIFO at the default registry place"
expect_same_folder "$hh" "registry refusals"
[ -z "$(ls "$data")" ] || fail "registry refusals wrote to the data folder"

# --- the registry file: option, then environment, then the default place -----------
new_case registry
for place in option env xdg home; do mkdir -p "$dir/$place-data"; done
registry_file "$dir/option.reg" "$dir/option-data"
registry_file "$dir/env.reg" "$dir/env-data"
registry_file "$dir/xdg/kestrelplan/registry.reg" "$dir/xdg-data"
registry_file "$dir/home/.config/kestrelplan/registry.reg" "$dir/home-data"
while IFS='|' read -r place command; do
  eval "run_cmd $command"
  expect_status 0 "registry from $place"
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
home|env -u KESTRELPLAN_REGISTRY XDG_CONFIG_HOME= HOME="\$dir/home" "\$sync" "\$hh"
EOF
# An export from 64-bit Windows: the value under WOW6432Node.
registry_file "$dir/wow.reg" "$dir/option-data" 'HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Norvane\Kestrelplan\1.00'
run --registry "$dir/wow.reg" "$hh"
expect_status 0 "WOW6432Node export"
[ "$(head -n 1 "$work/err")" = "kestrel-sync: data folder $dir/option-data (from the registry file $dir/wow.reg, under WOW6432Node)" ] ||
  fail "WOW6432Node export: $(head -n 1 "$work/err")"
[ -f "$dir/option-data/KestrelDB.csv" ] || fail "WOW6432Node export: no backup"
rm -f "$dir"/*-data/*.csv
# Configuration errors: each one line naming the file, exit 1.
for source in option env; do
  named=
  if [ "$source" = option ]; then
    run -q --registry "$dir/none.reg" "$hh"
  else
    run_cmd env KESTRELPLAN_REGISTRY="$dir/none.reg" "$sync" -q "$hh"
    named=' (named by $KESTRELPLAN_REGISTRY)'
  fi
  expect_status 1 "missing registry file from $source"
  expect_file "$work/err" \
    "kestrel-sync: no data folder is configured: no registry file $dir/none.reg$named; conduit status 0 (0x0000)$eol" \
    "missing registry file from $source"
done
mkfifo "$dir/fifo.reg"
run_cmd env KESTRELPLAN_REGISTRY="$dir/fifo.reg" timeout 10 "$sync" -q "$hh"
expect_status 2 "a FIFO named by KESTRELPLAN_REGISTRY"
expect_file "$work/err" \
  "kestrel-sync: $dir/fifo.reg: not a regular file (named by \$KESTRELPLAN_REGISTRY)$eol" \
  "a FIFO named by KESTRELPLAN_REGISTRY"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n"Kestrelplan Pth"="%s"\n' \
  "$dir/option-data" >"$dir/typo.reg"
registry_file "$dir/windows.reg" 'D:\\Tasks'
registry_file "$dir/gone.reg" "$dir/gone"
registry_file "$dir/file.reg" "$dir/typo.reg"
while IFS='|' read -r file message; do
  run -q --registry "$dir/$file" "$hh"
  expect_status 1 "registry $file"
  expect_file "$work/err" "kestrel-sync: $message$eol" "registry $file"
done <<EOF
typo.reg|$dir/typo.reg: the key HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00 has no string value "Kestrelplan Path"; conduit status 0 (0x0000)
windows.reg|$dir/windows.reg: the data folder D:\\Tasks is a Windows path (a drive letter); name a folder of this system; conduit status 1 (0x0001)
gone.reg|$dir/gone.reg: the data folder $dir/gone does not exist; conduit status 1 (0x0001)
file.reg|$dir/file.reg: the data folder $dir/typo.reg is not a folder; conduit status 1 (0x0001)
EOF
expect_same_folder "$hh" "registry"

# --- a failed backup and an import file in the wrong letter case -----------------
new_case failed-backup
mkdir "$data/Website Relaunch.csv"
cp "$root/samples/import.csv" "$data/Import.CSV"
run --data-folder "$data" "$hh"
expect_status 1 "failed backup"
lines \
  "kestrel-sync: data folder $data (from --data-folder)" \
  "kestrel-sync: backed up \"Import\" to $data/ImportFromPilot.csv (1 task line)" \
  "kestrel-sync: backed up \"KestrelDB\" to $data/KestrelDB.csv (3 task lines)" \
  "kestrel-sync: \"Website Relaunch\" not backed up: no backup file was written in $data" \
  "kestrel-sync: the import did not run: $data/Import.CSV differs from import.csv only in letter case, and is not read on Linux" \
  "kestrel-sync: no handheld file rewritten" \
  "kestrel-sync: \"Website Relaunch\" was not backed up (and 1 more); conduit status 1 (0x0001)"
expect_file "$work/err" "$L" "failed backup"
expect_same_folder "$hh" "failed backup"

# --- running out of memory: one line, exit 2, nothing changed ----------------------
# A registry file of 40 MB under a 30 MB address space. Not under the
# sanitizers, which need far more address space than that to start.
if ! sanitized; then
  new_case out-of-memory
  {
    echo REGEDIT4
    head -c 40000000 /dev/zero | tr '\0' x | fold -w 999 | sed 's/^/;/'
    printf '[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n"Kestrelplan Path"="%s"\n' "$data"
  } >"$dir/big.reg"
  run_cmd bash -c 'ulimit -v 30000; exec "$0" "$@"' "$sync" --registry "$dir/big.reg" "$hh"
  expect_status 2 "out of memory"
  expect_file "$work/err" "kestrel-sync: out of memory; nothing in the handheld folder changed$eol" \
    "out of memory"
  expect_same_folder "$hh" "out of memory"
  [ -z "$(ls "$data")" ] || fail "out of memory: the data folder was written"
fi

# --- files that are not regular files never block ------------------------------------
new_case fifo
mkfifo "$dir/log.fifo"
run_cmd timeout 10 "$sync" --data-folder "$data" --log "$dir/log.fifo" "$hh"
expect_status 2 "a FIFO as the log"
hint="the sync log goes only to a regular file; to keep no log, leave out --log and redirect standard output (>/dev/null); -q leaves out the summary"
expect_file "$work/err" "kestrel-sync: $dir/log.fifo: $hint$eol" "a FIFO as the log"
run_cmd timeout 10 "$sync" --data-folder "$data" --log /dev/null "$hh"
expect_status 2 "a device as the log"
expect_file "$work/err" "kestrel-sync: /dev/null: $hint$eol" "a device as the log"
expect_same_folder "$hh" "FIFOs"
[ -z "$(ls "$data")" ] || fail "FIFOs: the data folder was written"

# --- a log that leads into the handheld folder through a link ------------------------
# A link not yet leading to a file would have the log created where it points.
new_case log-link
ln -s "$hh/sync.pdb" "$dir/dangling.log"
ln -s "$hh" "$dir/handheld-link"
while IFS='|' read -r log; do
  run --data-folder "$data" --log "$log" "$hh"
  expect_status 2 "log through a link [$log]"
  expect_file "$work/err" "kestrel-sync: $log: the sync log cannot go into the handheld folder $hh$eol" \
    "log through a link [$log]"
  expect_same_folder "$hh" "log through a link [$log]"
done <<EOF2
$dir/dangling.log
$dir/handheld-link/sync.pdb
EOF2
[ -z "$(ls "$data")" ] || fail "log through a link: the data folder was written"

# --- a sync log that cannot be written leaves the handheld folder as it was ------------
new_case lost-log
cp "$root/samples/import.csv" "$data/import.csv"
# Standard output a pipe whose reading end is already closed.
run_cmd python3 -c 'import os, subprocess, sys
r, w = os.pipe()
os.close(r)
sys.exit(subprocess.call(sys.argv[1:], stdout=w))' "$sync" --data-folder "$data" "$hh"
expect_status 2 "closed standard output"
expect_file "$work/err" \
  "kestrel-sync: standard output: cannot write the sync log; nothing in the handheld folder changed$eol" \
  "closed standard output"
expect_same_folder "$hh" "closed standard output"
run --data-folder "$data" --log /dev/full "$hh"
expect_status 2 "full log"
expect_same_folder "$hh" "full log"

# --- names with control characters are shown escaped -------------------------------
new_case escape
odd=$dir/$'odd\nname\x1b'
mkdir -p "$odd"
run --data-folder "$data" "$odd/missing"
expect_status 2 "escaped path"
expect_file "$work/err" "kestrel-sync: $dir/odd\\nname\\x1b/missing: no such folder$eol" "escaped path"

# --- a dry run changes nothing anywhere, writes no sync log, and prints what
# KestrelDB would hold on standard output ------------------------------------------
new_case dry-run
cp "$root/samples/import.csv" "$data/import.csv"
printf 'earlier\n' >"$dir/sync.log"
cp -R "$data" "$dir/data-before"
# A leftover of a killed dry run is removed; one that a run holds, and
# anything else of another name, are left alone.
mkdir -p "$dir/tmp/kestrel-sync-dry-run-AAAAAA/x" "$dir/tmp/kestrel-sync-dry-run-BBBBBB" \
  "$dir/tmp/kestrel-sync-dry-run-keep"
mkfifo "$dir/held" "$dir/go"
flock -o "$dir/tmp/kestrel-sync-dry-run-BBBBBB" sh -c 'echo >"$1"; read -r _ <"$2"' sh \
  "$dir/held" "$dir/go" </dev/null >/dev/null 2>&1 &
holder=$!
read -r _ <"$dir/held"
run_cmd env TMPDIR="$dir/tmp" "$sync" --dry-run --data-folder "$data" --log "$dir/sync.log" "$hh"
echo >"$dir/go"
wait "$holder"
expect_status 0 "dry run"
expect_native_of "$work/out" "$expected/dry-run-kestreldb.csv" "dry run: standard output"
expect_file "$dir/sync.log" "earlier$eol" "dry run: the --log file"
expect_same_folder "$hh" "dry run"
diff -r "$dir/data-before" "$data" >/dev/null || fail "dry run: the data folder changed"
[ "$(ls "$dir/tmp")" = "kestrel-sync-dry-run-BBBBBB${eol}kestrel-sync-dry-run-keep" ] ||
  fail "dry run: scratch leftovers: $(ls "$dir/tmp")"
lines \
  "kestrel-sync: data folder $data (from --data-folder); dry run: the backups went to a scratch folder" \
  "kestrel-sync: would back up \"Import\" to $data/ImportFromPilot.csv (1 task line)" \
  "kestrel-sync: would back up \"KestrelDB\" to $data/KestrelDB.csv (3 task lines)" \
  "kestrel-sync: would back up \"Website Relaunch\" to $data/Website Relaunch.csv (2 task lines)" \
  "kestrel-sync: would import 5 tasks from $data/import.csv (1 line skipped: line 5)" \
  "kestrel-sync: dry run: would rewrite \"KestrelDB\"; nothing was saved" \
  "kestrel-sync: dry run: no sync log written"
expect_file "$work/err" "$L" "dry run: summary"
# A TMPDIR inside the handheld or the data folder: the scratch folder goes
# to /tmp instead, and neither folder changes.
for inside in "$hh" "$data"; do
  run_cmd env TMPDIR="$inside" "$sync" -q -n --data-folder "$data" "$hh"
  expect_status 0 "dry run, TMPDIR $inside"
  expect_same_folder "$hh" "dry run, TMPDIR $inside"
  diff -r "$dir/data-before" "$data" >/dev/null || fail "dry run, TMPDIR $inside: the data folder changed"
done
# A folder where KestrelDB's backup goes fails the dry run as it fails the sync.
mkdir "$data/KestrelDB.csv"
rm -rf "$dir/data-before"
cp -R "$data" "$dir/data-before"
run --dry-run --data-folder "$data" "$hh"
expect_status 1 "dry run, failed backup"
# Standard output: KestrelDB as it is, since nothing would be imported.
expect_file "$work/out" "$(cat "$expected/KestrelDB.csv")$eol" "dry run, failed backup: standard output"
lines \
  "kestrel-sync: data folder $data (from --data-folder); dry run: the backups went to a scratch folder" \
  "kestrel-sync: would back up \"Import\" to $data/ImportFromPilot.csv (1 task line)" \
  "kestrel-sync: \"KestrelDB\" not backed up: no backup file was written in $data" \
  "kestrel-sync: would back up \"Website Relaunch\" to $data/Website Relaunch.csv (2 task lines)" \
  "kestrel-sync: the import did not run: KestrelDB not backed up; Import.csv not transferred" \
  "kestrel-sync: dry run: no handheld database would change; nothing was saved" \
  "kestrel-sync: dry run: no sync log written" \
  "kestrel-sync: \"KestrelDB\" was not backed up (and 1 more); conduit status 1 (0x0001)"
expect_file "$work/err" "$L" "dry run, failed backup: summary"
expect_same_folder "$hh" "dry run, failed backup"
diff -r "$dir/data-before" "$data" >/dev/null || fail "dry run, failed backup: the data folder changed"

# --- a save that fails half way ---------------------------------------------------------
# Files may grow to 4 KiB only, and the signal for going past is ignored, so
# writing the new KestrelDB.pdb (100 records, over 8 KiB) fails part way.
new_case halfway
cp "$work/concurrent/a.csv" "$data/import.csv"
run_cmd bash -c 'trap "" XFSZ; ulimit -f 4; exec "$0" "$@"' "$sync" -q --data-folder "$data" "$hh"
expect_status 2 "half-way save"
expect_file "$work/err" "kestrel-sync: $hh/KestrelDB.pdb: cannot write the new file: File too large$eol" \
  "half-way save"
expect_same_folder "$hh" "half-way save"
grep -q $'^-1\t\tImport.csv transferred to Kestrelplan$' "$work/out" ||
  fail "half-way save: the sync log was not printed"

# --- scripts/run-sample, the README's main job --------------------------------------
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
