#!/usr/bin/env bash
# kestrel-sync.exe and kstlcond.dll under Wine, as a Windows user runs them:
# the data folder in the Windows registry, the handheld a folder of Palm
# database files. The results are those of kestrel-sync on Linux
# (tools/tests/expected) but for what Windows itself changes: text files and
# the program's output end their lines in CR LF, and paths use "\".
# Usage: sync_exe_test.sh KESTREL_SYNC_EXE REPO_ROOT WORK_DIR WINE_PREFIX
set -uo pipefail
exe=$1 root=$2 work=$3
export WINEPREFIX=$4 WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset DISPLAY WAYLAND_DISPLAY
sample=$root/samples/handheld
expected=$root/tools/tests/expected
expected_win32=$root/win32/tests/expected
key='HKLM\SOFTWARE\Norvane\Kestrelplan\1.00'

rm -rf "$work"
mkdir -p "$work"
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

win() { winepath -w "$1" 2>/dev/null; }
# The text with each line break as CR LF.
crlf() { perl -pe 's/\n/\r\n/'; }

# run ARGS...: runs kestrel-sync.exe, with $work/out, $work/err and $status.
run() {
  wine "$exe" "$@" </dev/null >"$work/out" 2>"$work/err"
  status=$?
}
expect_status() { [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"; }
expect_file() {  # FILE EXPECTED-TEXT WHAT
  local actual
  actual=$(cat "$1"; echo x)
  [ "${actual%x}" = "$2" ] || fail "$3: got [$(cat -A "$1")], expected [$(printf '%s' "$2" | cat -A)]"
}
expect_crlf_of() {  # FILE LF-FILE WHAT: FILE is LF-FILE with CR LF line breaks
  crlf <"$2" | cmp -s - "$1" || fail "$3: got [$(cat -A "$1")]"
}
expect_same_folder() {  # DIR WHAT
  diff -r "$sample" "$1" >/dev/null || fail "$2: the handheld folder changed"
}

set_data_folder() { wine reg add "$key" /v "Kestrelplan Path" /d "$(win "$1")" /f >/dev/null 2>&1; }
remove_data_folder() { wine reg delete "$key" /f >/dev/null 2>&1 || true; }

# new_case NAME: a fresh handheld folder $hh copied from the sample and an
# empty data folder $data named by the registry, under $work/NAME.
new_case() {
  dir=$work/$1
  hh=$dir/handheld
  data=$dir/data
  mkdir -p "$dir" "$data"
  cp -R "$sample" "$hh"
  set_data_folder "$data"
}

fingerprint() { (cd "$1" && stat -c '%n %i %s %Y' -- * | sort); }

usage_line='Usage: kestrel-sync [--registry FILE | --data-folder DIR] [--log FILE] HANDHELD_DIR'
start_finish=$'19\t\r\n20\tKestrelplan\r\n'

# --- help and version ----------------------------------------------------------
run --help
expect_status 0 "--help"
[ "$(head -n 1 "$work/out")" = "$usage_line"$'\r' ] || fail "--help: first line $(head -n 1 "$work/out" | cat -A)"
[ -s "$work/err" ] && fail "--help wrote to standard error"

run --version
expect_status 0 "--version"
expect_file "$work/out" $'Kestrelplan 1.01\r\n' "--version"

# --- refusals: exit 2, one line on standard error, nothing touched ------------
new_case usage
whh=$(win "$hh")
while IFS='|' read -r args message; do
  eval "run $args"
  expect_status 2 "usage [$args]"
  expect_file "$work/err" "kestrel-sync: $message"$'\r\n' "usage [$args]"
  [ -s "$work/out" ] && fail "usage [$args] wrote to standard output"
done <<EOF
|no handheld folder given (see kestrel-sync --help)
--frobnicate "\$whh"|unknown option --frobnicate (see kestrel-sync --help)
"\$whh" --log|--log needs a file
--registry r.reg "\$whh"|--registry is not available on Windows: the data folder is the registry value "Kestrelplan Path" of HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00
--data-folder "\$(win "\$data")" "\$whh"|--data-folder is not available on Windows: the data folder is the registry value "Kestrelplan Path" of HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00
"\$(win "\$dir")\\\\none"|$(win "$dir")\\none: no such folder
EOF
expect_same_folder "$hh" "refusals"
[ -z "$(ls "$data")" ] || fail "refusals wrote to the data folder"

# A file that is not a well-formed Palm database stops the command before the
# sync, naming the file in its Windows form.
new_case malformed
head -c 50 /dev/zero | tr '\0' x >"$hh/short.pdb"
cp "$hh/short.pdb" "$dir/short.pdb"
run "$(win "$hh")"
expect_status 2 "malformed file"
expect_file "$work/err" \
  "kestrel-sync: $(win "$hh")\\short.pdb: file too short: 50 bytes, a header needs 78"$'\r\n' \
  "malformed file"
[ -s "$work/out" ] && fail "malformed file: a sync ran"
cmp -s "$dir/short.pdb" "$hh/short.pdb" || fail "malformed file: it was changed"
rm "$hh/short.pdb"
expect_same_folder "$hh" "malformed file"
[ -z "$(ls "$data")" ] || fail "malformed file: the data folder was written"

# Without kstlcond.dll beside it the program cannot load the conduit.
mkdir -p "$dir/no-conduit"
cp "$exe" "$(dirname "$exe")/SYNC20.dll" "$(dirname "$exe")/HSLOG20.dll" "$dir/no-conduit/"
wine "$dir/no-conduit/$(basename "$exe")" "$whh" </dev/null >"$work/out" 2>"$work/err"
status=$?
expect_status 2 "no conduit"
grep -q 'kstlcond.dll: cannot load the conduit (error ' "$work/err" ||
  fail "no conduit: $(cat "$work/err")"
expect_same_folder "$hh" "no conduit"

# --- the main job ----------------------------------------------------------------
# sync_case NAME IMPORT-FILE: the main job with that import file, then a
# second sync without it, which rewrites nothing and backs up what the
# import wrote.
main_job() {
  new_case "$1"
  cp "$2" "$data/import.csv"
  run "$(win "$hh")"
  expect_status 0 "$1"
  expect_crlf_of "$work/out" "$expected/main-job.log" "$1: sync log"
  for name in KestrelDB "Website Relaunch" ImportFromPilot; do
    expect_crlf_of "$data/$name.csv" "$expected/$name.csv" "$1: $name.csv"
  done
  [ "$(ls "$data" | wc -l)" -eq 4 ] || fail "$1: data folder holds $(ls "$data")"
  for f in Import.pdb Kestrelplan.prc MemoDB.pdb Website.pdb; do
    cmp -s "$sample/$f" "$hh/$f" || fail "$1 rewrote $f"
  done
  cmp -s "$sample/KestrelDB.pdb" "$hh/KestrelDB.pdb" && fail "$1 left KestrelDB.pdb as it was"
  ls "$hh" | grep -q kestrel-new && fail "$1 left a new file behind"

  rm "$data/import.csv"
  local before
  before=$(fingerprint "$hh")
  sleep 1
  run "$(win "$hh")"
  expect_status 1 "$1, second sync"
  expect_file "$work/err" $'kestrel-sync: conduit status 1 (0x0001)\r\n' "$1, second sync"
  expect_file "$work/out" "$start_finish" "$1, second sync log"
  [ "$(fingerprint "$hh")" = "$before" ] || fail "$1, second sync rewrote a file"
  expect_crlf_of "$data/KestrelDB.csv" "$expected_win32/KestrelDB-imported.csv" \
    "$1, second sync: KestrelDB.csv"
}
main_job main "$root/samples/import.csv"
# An import file written on Windows, with CR LF line ends, reads the same.
crlf <"$root/samples/import.csv" >"$work/import-crlf.csv"
main_job crlf-import "$work/import-crlf.csv"

# --- no data folder in the registry: no file is written or read ----------------
new_case no-registry
cp "$root/samples/import.csv" "$data/import.csv"
remove_data_folder
run "$(win "$hh")"
expect_status 0 "no registry value"
expect_file "$work/out" "$start_finish" "no registry value"
[ "$(ls "$data")" = import.csv ] || fail "no registry value: data folder holds $(ls "$data")"
expect_same_folder "$hh" "no registry value"

# --- the sync log appended to a file --------------------------------------------
new_case log
printf 'earlier\r\n' >"$dir/sync.log"
run --log "$(win "$dir/sync.log")" "$(win "$hh")"
run "$(win "$hh")" --log="$(win "$dir/sync.log")"
expect_status 1 "--log"
[ -s "$work/out" ] && fail "--log: the log went to standard output"
expect_file "$dir/sync.log" $'earlier\r\n'"$start_finish$start_finish" "--log file"
run --log "$(win "$dir")\\no\\such\\folder.log" "$(win "$hh")"
expect_status 2 "--log in a missing folder"
expect_file "$work/err" "kestrel-sync: $(win "$dir")\\no\\such\\folder.log: cannot open the log"$'\r\n' \
  "--log in a missing folder"

# --- another conduit status: KestrelDB is a resource database -------------------
new_case resource
rm "$hh/KestrelDB.pdb"
printf 'KestrelDB\0' | dd of="$hh/Kestrelplan.prc" conv=notrunc status=none
cp "$hh/Kestrelplan.prc" "$dir/prc"
cp "$root/samples/import.csv" "$data/import.csv"
run "$(win "$hh")"
expect_status 1 "resource KestrelDB"
expect_file "$work/err" $'kestrel-sync: conduit status 16393 (0x4009)\r\n' "resource KestrelDB"
expect_file "$work/out" \
  $'19\t\r\n10\tCould not clear the database on the PalmPilot.\r\n-1\t\tImport.csv transferred to Kestrelplan\r\n20\tKestrelplan\r\n' \
  "resource KestrelDB log"
cmp -s "$dir/prc" "$hh/Kestrelplan.prc" || fail "resource KestrelDB: the file was rewritten"

remove_data_folder
if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "PASS: kestrel-sync.exe under Wine"
