#!/usr/bin/env bash
# The Windows build's `cpack -G ZIP`: kstlcond-VERSION-win32.zip holds
# exactly the stripped kstlcond.dll, kestrel-csv.exe beside it, the two
# registry files and INSTALL.txt.
# The stripped DLL keeps the form the host needs (check_dll_form.py), and
# the registry editor under Wine imports each registry file to the value
# "Kestrelplan Path" under its key.
# Usage: zip_test.sh BUILD_DIR WORK_DIR VERSION PYTHON3 CHECK_DLL_FORM OBJDUMP WINEPREFIX
set -uo pipefail
build=$1 work=$2 version=$3 python=$4 check_dll_form=$5 objdump=$6
export WINEPREFIX=$7 WINEDEBUG=-all

. "$(dirname "$0")/common.sh"
start_work "$work"

if ! cpack -G ZIP --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log" >&2
  echo "FAIL: cpack -G ZIP failed" >&2
  exit 1
fi
top=kstlcond-$version-win32
zip=$work/out/$top.zip
if [ ! -f "$zip" ]; then
  echo "FAIL: no $top.zip; cpack made: $(ls "$work/out" | tr '\n' ' ')" >&2
  exit 1
fi

"$python" - "$zip" "$work/files" "$work/unzipped" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    names = sorted(i.filename for i in z.infolist() if not i.is_dir())
    z.extractall(sys.argv[3])
with open(sys.argv[2], "w") as out:
    out.write("".join(n + "\n" for n in names))
PY
printf '%s\n' "$top/INSTALL.txt" "$top/kestrel-csv.exe" "$top/kestrelplan-path-32bit-windows.reg" \
  "$top/kestrelplan-path-64bit-windows.reg" "$top/kstlcond.dll" >"$work/expected-files"
diff -u "$work/expected-files" "$work/files" >&2 || fail "the zip's files differ (- expected, + packed)"
dir=$work/unzipped/$top

# Stripped: no symbols and no debug sections, and smaller than as built.
dll=$dir/kstlcond.dll
sections=$("$objdump" -h "$dll" | awk '$1 ~ /^[0-9]+$/ { print $2 }')
grep -q '^\.text$' <<<"$sections" || fail "objdump -h lists no .text in kstlcond.dll: [$sections]"
! grep -q '^\.debug' <<<"$sections" || fail "kstlcond.dll in the zip has debug sections: $(echo $sections)"
symbols=$("$objdump" -t "$dll")
grep -qx 'no symbols' <<<"$symbols" || fail "kstlcond.dll in the zip has a symbol table"
[ "$(stat -c %s "$dll")" -lt "$(stat -c %s "$build/bin/kstlcond.dll")" ] ||
  fail "kstlcond.dll in the zip ($(stat -c %s "$dll") bytes) is no smaller than as built"
"$python" "$check_dll_form" "$dll" >&2 || fail "check_dll_form.py fails on the stripped kstlcond.dll"

# Windows text files: every line ends in CR LF.
for file in INSTALL.txt kestrelplan-path-32bit-windows.reg kestrelplan-path-64bit-windows.reg; do
  lf=$(grep -c $'[^\r]$\|^$' "$dir/$file")
  [ "$lf" -eq 0 ] || fail "$file: $lf lines without CR LF"
done
grep -q "^Kestrelplan conduit $version for Windows"$'\r'"\$" "$dir/INSTALL.txt" ||
  fail "INSTALL.txt does not name version $version"

# Each registry file, imported by the registry editor, sets the value under
# its key. A 32-bit prefix has no WOW6432Node view, so the 64-bit file's key
# appears there under its literal path.
check_import() {  # FILE KEY
  local file=$1 key=$2 out
  wine reg delete "$key" /f >/dev/null 2>&1
  wine regedit /S "$(winepath -w "$dir/$file" 2>/dev/null)" >/dev/null 2>&1 ||
    fail "regedit /S $file failed"
  out=$(wine reg query "$key" /v "Kestrelplan Path" 2>&1 | tr -d '\r' | grep 'Kestrelplan Path')
  [ "$out" = "    Kestrelplan Path    REG_SZ    C:\\Kestrelplan" ] ||
    fail "$file: reg query $key gives [$out]"
  wine reg delete "$key" /f >/dev/null 2>&1
}
check_import kestrelplan-path-32bit-windows.reg 'HKLM\SOFTWARE\Norvane\Kestrelplan\1.00'
check_import kestrelplan-path-64bit-windows.reg 'HKLM\SOFTWARE\WOW6432Node\Norvane\Kestrelplan\1.00'

[ "$failures" -eq 0 ] || exit 1
echo "zip: $top.zip, kstlcond.dll $(stat -c %s "$dll") bytes stripped"
