#!/usr/bin/env bash
# `cpack -G DEB` makes kestrel-sync_VERSION_ARCH.deb: its control fields,
# dependencies found by dpkg-shlibdeps, and its exact file list; the commands
# in it are stripped and run.
# Usage: deb_test.sh BUILD_DIR WORK_DIR VERSION COMMAND...
set -uo pipefail
build=$1 work=$2 version=$3
shift 3
commands=("$@")

. "$(dirname "$0")/common.sh"
start_work "$work"

if ! cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack -G DEB failed" >&2
  exit 1
fi
deb=$work/out/kestrel-sync_${version}_$(dpkg --print-architecture).deb
if [ ! -f "$deb" ]; then
  echo "FAIL: no $(basename "$deb"); cpack made: $(ls "$work/out" | tr '\n' ' ')" >&2
  exit 1
fi

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kestrel-sync ] || fail "Package: [$(field Package)]"
[ "$(field Version)" = "$version" ] || fail "Version: [$(field Version)]"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail "Architecture: [$(field Architecture)]"
[ "$(field Section)" = utils ] || fail "Section: [$(field Section)]"
# dpkg-shlibdeps names each library package with its least version.
depends=$(field Depends)
for package in libc6 libstdc++6 libgcc-s1; do
  [[ ", $depends," == *", $package (>= "* ]] ||
    fail "Depends: [$depends] lacks $package with a version"
done

installed_files ./usr/ "${commands[@]}" >"$work/expected-files"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/files"
diff -u "$work/expected-files" "$work/files" >&2 || fail "the package's files differ (- expected, + packed)"

dpkg-deb -x "$deb" "$work/root"
for command in "${commands[@]}"; do
  program=$work/root/usr/bin/$command
  [[ "$(file -b "$program")" == *", stripped"* ]] || fail "$command is not stripped: $(file -b "$program")"
  [ "$(stat -c %a "$program")" = 755 ] || fail "$command has mode $(stat -c %a "$program")"
  "$program" --version >/dev/null 2>&1 || fail "$command --version from the package failed"
done

[ "$failures" -eq 0 ] || exit 1
echo "deb: $(basename "$deb"), Depends: $depends"
