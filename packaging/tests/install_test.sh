#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# `cmake --install BUILD --prefix DIR` gives a working tree: exactly the
# files a user needs, the command runs from there, its manual page is found
# through the tree's MANPATH, and the installed samples give the main job's
# sync log and backup files.
# Usage: install_test.sh BUILD_DIR REPO_ROOT WORK_DIR VERSION COMMAND...
set -uo pipefail
build=$1 root=$2 work=$3 version=$4
shift 4
commands=("$@")
prefix=$work/prefix
expected=$root/tools/sync/tests/expected

. "$(dirname "$0")/common.sh"
start_work "$work"

if ! cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  fail "cmake --install failed"
fi

# The exact list of installed files.
installed_files "" "${commands[@]}" >"$work/expected-files"
(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort) >"$work/files"
diff -u "$work/expected-files" "$work/files" >&2 || fail "installed files differ (- expected, + installed)"
for file in README.md LICENSE; do
  cmp -s "$root/$file" "$prefix/share/doc/kestrel-sync/$file" || fail "$file differs"
done
diff -r "$root/samples/handheld" "$prefix/share/doc/kestrel-sync/handheld" >&2 ||
  fail "the installed sample handheld differs"

for command in "${commands[@]}"; do
  out=$("$prefix/bin/$command" --version 2>&1)
  status=$?
  [ "$status" -eq 0 ] || fail "$command --version: exit status $status"
  [[ "$(head -n 1 <<<"$out")" == *" $version"* ]] ||
    fail "$command --version: [$out] does not give the version $version"
  [ "$(sed -n 2p <<<"$out")" = "$(grep -m 1 '^Copyright ' "$root/LICENSE")" ] ||
    fail "$command --version: [$out] does not give LICENSE's copyright line second"
  page=$(MANPATH=$prefix/share/man man -w "$command" 2>&1)
  [ "$page" = "$prefix/share/man/man1/$command.1" ] || fail "man -w $command: [$page]"
done

# The main job on a scratch copy of the installed samples.
mkdir -p "$work/data"
cp -R "$prefix/share/doc/kestrel-sync/handheld" "$work/handheld"
cp "$prefix/share/doc/kestrel-sync/import.csv" "$work/data/import.csv"
"$prefix/bin/kestrel-sync" --data-folder "$work/data" "$work/handheld" >"$work/log" 2>"$work/err"
status=$?
[ "$status" -eq 0 ] || fail "kestrel-sync on the installed samples: exit status $status: $(cat "$work/err")"
cmp -s "$expected/main-job.log" "$work/log" || fail "the sync log differs from main-job.log"
for file in KestrelDB.csv ImportFromPilot.csv "Website Relaunch.csv"; do
  cmp -s "$expected/$file" "$work/data/$file" || fail "the backup $file differs"
done

[ "$failures" -eq 0 ] || exit 1
echo "install: ${#commands[@]} commands, their manual pages and the documentation installed and working"
