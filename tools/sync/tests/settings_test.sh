#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# kestrel-sync's settings file and command-line conventions as a user meets
# them: each key of kestrel-sync.conf, the command line over the file,
# --no-config, a relative XDG_CONFIG_HOME ignored, where the data folder comes
# from and the summary saying so, --show-config, every refused line with its
# message, the log file's header line, and options shortened and bundled.
# Usage: settings_test.sh KESTREL_SYNC REPO_ROOT WORK_DIR
set -uo pipefail
sync=$1 root=$2 work=$3
case "$work" in
  */test-work/*) ;;
  *) echo "settings_test.sh: $work is not a test-work folder" >&2; exit 2 ;;
esac
. "$root/tests/test_work.sh"
start_work "$work"
# run [VAR=VALUE]... ARG...: kestrel-sync in a clean environment with only
# the variables given, HOME a folder with no settings.
run() {
  local vars=(HOME="$work/nohome" PATH="$PATH")
  while [[ $# -gt 0 && $1 == *=* && $1 != -* ]]; do vars+=("$1"); shift; done
  env -i "${vars[@]}" "$sync" "$@" </dev/null >"$work/out" 2>"$work/err"
  status=$?
}
expect_status() { [ "$status" -eq "$1" ] || fail "$2: exit status $status, expected $1"; }
expect_file() {  # FILE EXPECTED-TEXT WHAT
  local actual
  actual=$(cat "$1"; echo x)
  [ "${actual%x}" = "$2" ] || fail "$3: got [$(cat -A "$1")], expected [$(printf '%s' "$2" | cat -A)]"
}
first_line() {  # EXPECTED WHAT: the first line of standard error
  [ "$(head -n 1 "$work/err")" = "$1" ] || fail "$2: first line [$(head -n 1 "$work/err")], expected [$1]"
}
backed_up_in() {  # DIR WHAT: KestrelDB's backup is in DIR and in no other data folder
  local d
  for d in "$dir"/*-data; do
    if [ "$d" = "$1" ]; then
      [ -f "$d/KestrelDB.csv" ] || fail "$2: no backup in $d"
    else
      [ -f "$d/KestrelDB.csv" ] && fail "$2: a backup in $d"
    fi
  done
  rm -f "$dir"/*-data/*.csv
}

dir=$work/case
hh=$dir/handheld
mkdir -p "$dir"/{conf,cli,env,xdg,home}-data "$dir/xdg/kestrelplan" "$dir/home/.config/kestrelplan"
cp -R "$root/samples/handheld" "$hh"
conf=$dir/xdg/kestrelplan/kestrel-sync.conf
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n"Kestrelplan Path"="%s"\n' \
  "$dir/env-data" >"$dir/env.reg"
printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Norvane\\Kestrelplan\\1.00]\n"Kestrelplan Path"="%s"\n' \
  "$dir/xdg-data" >"$dir/xdg/kestrelplan/registry.reg"
xdg=XDG_CONFIG_HOME=$dir/xdg

# --- where the data folder comes from, and the summary's word for it --------------
printf '# tasks\ndata-folder = %s\n' "$dir/conf-data" >"$conf"
run "$xdg" -q "$hh"
expect_status 0 "data-folder from the file"
backed_up_in "$dir/conf-data" "data-folder from the file"
run "$xdg" "$hh"
first_line "kestrel-sync: data folder $dir/conf-data (from data-folder in $conf:2)" \
  "data-folder from the file"
rm -f "$dir"/*-data/*.csv
run "$xdg" --data-folder "$dir/cli-data" "$hh"
expect_status 0 "--data-folder over the file"
first_line "kestrel-sync: data folder $dir/cli-data (from --data-folder)" "--data-folder over the file"
backed_up_in "$dir/cli-data" "--data-folder over the file"
run "$xdg" KESTRELPLAN_REGISTRY="$dir/env.reg" "$hh"
expect_status 0 "KESTRELPLAN_REGISTRY over the file"
first_line "kestrel-sync: data folder $dir/env-data (from the registry file $dir/env.reg, named by \$KESTRELPLAN_REGISTRY)" \
  "KESTRELPLAN_REGISTRY over the file"
backed_up_in "$dir/env-data" "KESTRELPLAN_REGISTRY over the file"
# --no-config: the default registry file, in the same folder, decides.
run "$xdg" --no-config "$hh"
expect_status 0 "--no-config"
first_line "kestrel-sync: data folder $dir/xdg-data (from the registry file $dir/xdg/kestrelplan/registry.reg)" \
  "--no-config"
backed_up_in "$dir/xdg-data" "--no-config"
# A relative XDG_CONFIG_HOME is ignored for both files: ~/.config is used.
printf 'data-folder = %s\n' "$dir/home-data" >"$dir/home/.config/kestrelplan/kestrel-sync.conf"
(cd "$dir" && env -i HOME="$dir/home" XDG_CONFIG_HOME=xdg "$sync" -q "$hh" </dev/null >"$work/out" 2>"$work/err")
status=$?
expect_status 0 "relative XDG_CONFIG_HOME"
backed_up_in "$dir/home-data" "relative XDG_CONFIG_HOME"
rm "$dir/home/.config/kestrelplan/kestrel-sync.conf"
(cd "$dir" && env -i HOME="$dir/home" XDG_CONFIG_HOME=xdg "$sync" "$hh" </dev/null >"$work/out" 2>"$work/err")
status=$?
expect_status 1 "relative XDG_CONFIG_HOME, no files in ~/.config"
first_line "kestrel-sync: no data folder is configured: no registry file $dir/home/.config/kestrelplan/registry.reg (see --registry and --data-folder)" \
  "relative XDG_CONFIG_HOME, no files in ~/.config"

# --- the log key, and the header line of a log file ------------------------------------
printf 'log = %s\ndata-folder = %s\n' "$dir/sync.log" "$dir/conf-data" >"$conf"
run "$xdg" -q "$hh"
expect_status 0 "log from the file"
[ -s "$work/out" ] && fail "log from the file: the sync log went to standard output too"
header_re="^# kestrel-sync 1\.01 [0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}Z $hh\$"
[ "$(grep -c '^# ' "$dir/sync.log")" = 1 ] && head -n 1 "$dir/sync.log" | grep -Eq "$header_re" ||
  fail "log from the file: first line [$(head -n 1 "$dir/sync.log")]"
cp "$dir/sync.log" "$dir/first.log"
run "$xdg" -q --log - "$hh"
expect_status 0 "--log - over the file"
grep -q '^# ' "$work/out" && fail "--log -: a header line on standard output"
cmp -s <(tail -n +2 "$dir/first.log") "$work/out" ||
  fail "the entries of the log file differ from those on standard output"
run "$xdg" -q --dry-run "$hh"
expect_status 0 "dry run with the file's log"
[ "$(grep -c '^# ' "$dir/sync.log")" = 1 ] || fail "a dry run wrote a header line"
printf 'log = %s\n' "$hh/sync.log" >"$conf"
run "$xdg" --data-folder "$dir/cli-data" "$hh"
expect_status 2 "log from the file in the handheld folder"
expect_file "$work/err" "kestrel-sync: $hh/sync.log: the sync log cannot go into the handheld folder $hh
" "log from the file in the handheld folder"
rm -f "$dir"/*-data/*.csv

# --- --show-config --------------------------------------------------------------------
printf 'charset = UTF-8\nlog = %s\ndata-folder = %s\n' "$dir/sync.log" "$dir/conf-data" >"$conf"
run "$xdg" --show-config --handheld-charset CP1250
expect_status 0 "--show-config"
expect_file "$work/out" "charset = UTF-8 (from charset in $conf:1)
handheld-charset = CP1250 (from --handheld-charset)
data-folder = $dir/conf-data (from data-folder in $conf:3)
log = $dir/sync.log (from log in $conf:2)
settings file: $conf
" "--show-config"
expect_file "$work/err" "" "--show-config: standard error"
run "$xdg" --show-config --charset=none --no-config
expect_file "$work/out" "charset = none (from --charset; every byte is kept)
data-folder = $dir/xdg-data (from the registry file $dir/xdg/kestrelplan/registry.reg)
log = - (the default: standard output)
settings file: none read (--no-config)
" "--show-config --no-config"
run "$xdg" --show-conf --charset=none
expect_file "$work/out" "charset = none (from --charset; every byte is kept)
data-folder = $dir/conf-data (from data-folder in $conf:3)
log = $dir/sync.log (from log in $conf:2)
settings file: $conf
" "--show-config --charset=none"
# The file's charset is the one opened (an unknown one is refused below);
# --charset=none turns it off for one run.
printf 'charset = NO-SUCH-SET\ndata-folder = %s\n' "$dir/conf-data" >"$conf"
run "$xdg" -q --charset=none "$hh"
expect_status 0 "--charset=none over the file's charset"
backed_up_in "$dir/conf-data" "--charset=none over the file's charset"

# --- refused settings: one line naming the file and line, exit 2, nothing changed --------
while IFS='|' read -r text message; do
  printf '%b' "$text" >"$conf"
  run "$xdg" "$hh"
  expect_status 2 "settings [$text]"
  expect_file "$work/err" "kestrel-sync: $message
" "settings [$text]"
  [ -s "$work/out" ] && fail "settings [$text] wrote to standard output"
done <<EOF
colour = red\n|$conf:1: unknown key colour; the keys are charset, handheld-charset, data-folder, log
# one\ndata-foldr = /x\n|$conf:2: unknown key data-foldr; did you mean data-folder?
charset = UTF-8\ncharset = UTF-8\n|$conf:2: charset given twice (first on line 1); keep one
data-folder = tasks\n|$conf:1: data-folder tasks is a relative path; write the whole path from /
log = ~/sync.log\n|$conf:1: log ~/sync.log: ~ is not expanded here; write the whole path from /
charset\n|$conf:1: not a setting; write KEY = VALUE, or start a comment with #
handheld-charset = CP1250\n|$conf:1: handheld-charset needs charset; add a charset line, or give --charset
charset = NO-SUCH-SET\n|unknown character set NO-SUCH-SET; \`iconv -l\` lists the names this system knows
EOF
rm "$conf"
mkfifo "$conf"
run "$xdg" "$hh"
expect_status 2 "a FIFO as the settings file"
expect_file "$work/err" "kestrel-sync: $conf: not a regular file
" "a FIFO as the settings file"
run "$xdg" --no-config --data-folder "$dir/cli-data" -q "$hh"
expect_status 0 "--no-config past a FIFO"
rm -f "$conf" "$dir"/*-data/*.csv
diff -r "$root/samples/handheld" "$hh" >/dev/null || fail "refused settings: the handheld folder changed"

# --- options shortened and bundled -------------------------------------------------------
run --data-fold "$dir/cli-data" --dry -q "$hh"
expect_status 0 "--data-fold --dry -q"
[ -z "$(ls "$dir/cli-data")" ] || fail "--dry: the data folder was written"
cp "$root/samples/import.csv" "$dir/cli-data/import.csv"
run --data-folder="$dir/cli-data" -nq "$hh"
expect_status 0 "-nq"
# -q leaves out the summary, never what a dry run shows KestrelDB would hold.
[ -s "$work/err" ] && fail "-nq: a summary on standard error [$(head -n 1 "$work/err")]"
[ "$(head -n 1 "$work/out")" = "ID,Start,Duration,Finish,Predecessors,% Complete,Name,Resource Names" ] ||
  fail "-nq: standard output starts [$(head -n 1 "$work/out")]"
[ "$(wc -l <"$work/out")" -ge 5 ] || fail "-nq: what KestrelDB would hold is not all there"
while IFS='|' read -r args message; do
  eval "run $args"
  expect_status 2 "usage [$args]"
  expect_file "$work/err" "kestrel-sync: $message
" "usage [$args]"
done <<EOF
--dry-rn "\$hh"|unknown option --dry-rn; did you mean --dry-run?
-dry-run "\$hh"|unknown option -d in -dry-run; did you mean --dry-run?
--d x "\$hh"|option --d is ambiguous: it may be --data-folder or --dry-run; type more of its name
--timings=yes "\$hh"|--timings takes no value (see kestrel-sync --help)
EOF

if [ "$failures" -ne 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "PASS: kestrel-sync settings and conventions"
