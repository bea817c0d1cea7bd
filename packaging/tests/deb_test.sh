#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The .deb that dpkg-buildpackage makes from debian/: its control fields as
# debian/control gives them, library dependencies that dpkg-shlibdeps found,
# md5sums that hold, its exact file list owned by root, the copyright and
# changelog of debian/, compressed manual pages that are the build's own,
# the samples as they are, and the commands stripped and running.
# Usage: deb_test.sh DEB WORK_DIR REPO_ROOT VERSION COMMAND...
set -uo pipefail
deb=$1 work=$2 root=$3 version=$4
shift 4
commands=("$@")

. "$(dirname "$0")/common.sh"
start_work "$work"

field() { dpkg-deb -f "$deb" "$1"; }
source_field() { sed -n "s/^$1: //p" "$root/debian/control"; }
[ "$(field Package)" = kestrel-sync ] || fail "Package: [$(field Package)]"
[ "$(field Version)" = "$version" ] || fail "Version: [$(field Version)]"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] ||
  fail "Architecture: [$(field Architecture)]"
for name in Section Priority Maintainer; do
  [ "$(field "$name")" = "$(source_field "$name")" ] || fail "$name: [$(field "$name")]"
done
[ "$(field Maintainer)" = "Kestrelplan conduit authors <kestrelplan@users.noreply.invalid>" ] ||
  fail "Maintainer: [$(field Maintainer)]"
synopsis=$(field Description)
synopsis=${synopsis%%$'\n'*}
[ "${#synopsis}" -lt 80 ] || fail "the synopsis has ${#synopsis} characters: [$synopsis]"
# dpkg-shlibdeps names each library package with its least version.
depends=$(field Depends)
for package in libc6 libstdc++6 libgcc-s1 libxml2; do
  [[ ", $depends," == *", $package (>= "* ]] ||
    fail "Depends: [$depends] lacks $package with a version"
done

# The files of `cmake --install`, as debhelper leaves them: manual pages and
# the README compressed, the licence in the copyright file, the changelog.
doc=./usr/share/doc/kestrel-sync
{
  installed_files ./usr/ "${commands[@]}" |
    sed -e 's|^\(\./usr/share/man/man1/.*\.1\)$|\1.gz|' -e "s|^$doc/README\.md\$|&.gz|" \
        -e "\|^$doc/LICENSE\$|d"
  printf '%s\n' "$doc/changelog.gz" "$doc/copyright"
} | sort >"$work/expected-files"
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$work/files"
diff -u "$work/expected-files" "$work/files" >&2 || fail "the package's files differ (- expected, + packed)"
owners=$(dpkg-deb -c "$deb" | awk '$2 != "root/root" { print $6 " " $2 }')
[ -z "$owners" ] || fail "not owned by root: $(echo $owners)"

dpkg-deb -x "$deb" "$work/root"
dpkg-deb -e "$deb" "$work/control"
[ -s "$work/control/md5sums" ] || fail "the package has no md5sums"
(cd "$work/root" && md5sum --quiet -c "$work/control/md5sums") >&2 || fail "md5sums do not hold"

at=$work/root/${doc#./}
cmp -s "$root/debian/copyright" "$at/copyright" || fail "the copyright file is not debian/copyright"
zcat "$at/changelog.gz" | cmp -s "$root/debian/changelog" - || fail "changelog.gz is not debian/changelog"
zcat "$at/README.md.gz" | cmp -s "$root/README.md" - || fail "README.md.gz is not README.md"
cmp -s "$root/samples/registry.reg" "$at/registry.reg" || fail "the sample registry.reg differs"
cmp -s "$root/samples/import.csv" "$at/import.csv" || fail "the sample import.csv differs"
diff -r "$root/samples/handheld" "$at/handheld" >&2 || fail "the sample handheld differs"

# Each manual page is its .1.in with the version and the copyright line.
copyright=$(grep -m 1 '^Copyright ' "$root/LICENSE")
for command in "${commands[@]}"; do
  sed -e "s/@PROJECT_VERSION@/$version/g" -e "s/@KESTREL_COPYRIGHT@/$copyright/g" \
    "$root/packaging/man/$command.1.in" >"$work/$command.1"
  zcat "$work/root/usr/share/man/man1/$command.1.gz" | cmp -s "$work/$command.1" - ||
    fail "$command.1.gz is not packaging/man/$command.1.in made for $version"
done

for command in "${commands[@]}"; do
  program=$work/root/usr/bin/$command
  [[ "$(file -b "$program")" == *", stripped"* ]] || fail "$command is not stripped: $(file -b "$program")"
  [ "$(stat -c %a "$program")" = 755 ] || fail "$command has mode $(stat -c %a "$program")"
  out=$("$program" --version 2>&1)
  [ "${out%%$'\n'*}" = "$command $version (Kestrelplan conduit)" ] ||
    fail "$command --version from the package: [$out]"
done

[ "$failures" -eq 0 ] || exit 1
echo "deb: $(basename "$deb"), Depends: $depends"
