#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kestrel-sync and the files of the handheld folder: it never waits on a FIFO
# named like a database, follows a symbolic link to a regular file, and
# refuses a file larger than any Palm database before reading it, in bounded
# memory. Each refusal exits 2 with one line naming the file, and changes
# nothing in either folder.
# Usage: handheld_files_test.sh KESTREL_SYNC REPO_ROOT WORK_DIR
set -uo pipefail
sync=$1 root=$2 work=$3
sample=$root/samples/handheld

. "$root/tests/test_work.sh"
start_work "$work"

# A command that waits on a FIFO is stopped by the time limit (status 124).
limit=300
# The memory limit for the large files: far less than they hold. A build that
# cannot start under it (a sanitizer build reserves terabytes of address
# space) runs without it.
memory_kb=262144
if ! (ulimit -v "$memory_kb" && "$sync" --version >/dev/null 2>&1); then
  echo "note: kestrel-sync cannot start under ulimit -v $memory_kb; no memory limit" >&2
  memory_kb=unlimited
fi

# run ARGS...: kestrel-sync under the limits, with $out, $err and $status.
run() {
  (ulimit -v "$memory_kb" && exec timeout "$limit" "$sync" "$@") >"$work/out" 2>"$work/err"
  status=$?
}

# Name, type, size, time and link target of every entry, and the bytes of
# every regular file but the huge sparse ones (never a FIFO: reading one waits).
state() {
  (cd "$1" && find . -mindepth 1 -printf '%p %y %s %T@ %l\n' | sort &&
    find . -mindepth 1 -type f -size -100M -exec cksum {} + | sort)
}

# refused NAME MESSAGE: one case prepared in $hh; expects exit 2, the message
# naming HH/NAME, no sync log, and both folders as they were.
refused() {
  local before_hh before_data
  before_hh=$(state "$hh")
  before_data=$(ls -A "$data")
  run --data-folder "$data" "$hh"
  [ "$status" -eq 2 ] || fail "$case: exit status $status, expected 2"
  local expected="kestrel-sync: $hh/$1: $2"
  [ "$(cat "$work/err")" = "$expected" ] || fail "$case: standard error [$(cat -A "$work/err")], expected [$expected]"
  [ -s "$work/out" ] && fail "$case: a sync ran: $(cat "$work/out")"
  [ "$(state "$hh")" = "$before_hh" ] || fail "$case: the handheld folder changed"
  [ "$(ls -A "$data")" = "$before_data" ] || fail "$case: the data folder changed"
}

new_case() {
  case=$1
  hh=$work/$1/handheld
  data=$work/$1/data
  mkdir -p "$data"
  cp -R "$sample" "$hh"
  cp "$root/samples/import.csv" "$data/import.csv"
}

# --- FIFOs and links ------------------------------------------------------------
new_case fifo
mkfifo "$hh/Notes.pdb"
refused Notes.pdb "not a regular file"

new_case link-to-fifo
mkfifo "$work/link-to-fifo/pipe"
ln -s ../pipe "$hh/Notes.pdb"
refused Notes.pdb "not a regular file"

new_case link-to-folder
ln -s .. "$hh/Notes.pdb"
refused Notes.pdb "not a regular file"

new_case dangling-link
ln -s nowhere.pdb "$hh/Notes.pdb"
refused Notes.pdb "not a regular file"

# A link to a regular file is read through: the linked database is backed up
# like the others, and the link stays as it was.
new_case link-to-file
mv "$hh/Website.pdb" "$work/link-to-file/Website.pdb"
ln -s ../Website.pdb "$hh/Website.pdb"
run --data-folder "$data" "$hh"
[ "$status" -eq 0 ] || fail "link to a file: exit status $status: $(cat "$work/err")"
cmp -s "$data/Website Relaunch.csv" "$root/tools/sync/tests/expected/Website Relaunch.csv" ||
  fail "link to a file: Website Relaunch.csv differs"
[ "$(readlink "$hh/Website.pdb")" = ../Website.pdb ] || fail "link to a file: the link was replaced"
cmp -s "$work/link-to-file/Website.pdb" "$sample/Website.pdb" || fail "link to a file: its target changed"

# --- files larger than a Palm database can be --------------------------------
# Sparse: they take no disk space, but reading one whole would take gigabytes.
new_case five-gigabytes
truncate -s 5G "$hh/Huge.pdb"
refused Huge.pdb "file too large: 5368709120 bytes, a Palm database holds at most 4294967295"

new_case four-gigabytes
truncate -s 4294967296 "$hh/Huge.pdb"
refused Huge.pdb "file too large: 4294967296 bytes, a Palm database holds at most 4294967295"

# Within the limit the file is checked from its first bytes alone: a header
# of zeros is refused at once, without reading the rest.
new_case almost-four-gigabytes
truncate -s 4294967295 "$hh/Huge.pdb"
refused Huge.pdb "database name is empty"

new_case large-with-header
# A well-formed header and one record entry, then 3.9 GB of holes: only the
# header and entry are read while loading.
head -c 86 "$sample/MemoDB.pdb" >"$hh/Huge.pdb"
printf '\x00\x01' | dd of="$hh/Huge.pdb" bs=1 seek=76 conv=notrunc status=none
truncate -s 3900000000 "$hh/Huge.pdb"
run --data-folder "$data" "$hh"
[ "$status" -ne 124 ] && [ "$status" -lt 128 ] || fail "large file: status $status"
grep -q 'std::bad_alloc' "$work/err" && fail "large file: $(cat "$work/err")"

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "PASS: handheld files are opened without blocking and large ones refused"
