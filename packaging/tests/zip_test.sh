#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The Windows build's `cpack -G ZIP`: kstlcond-VERSION-win32.zip holds
# exactly the stripped kstlcond.dll, kestrel-csv.exe beside it, the two
# registry files, INSTALL.txt and LICENSE.txt. The stripped DLL keeps the form the host needs
# (check_dll_form.py); the registry editor under Wine imports each registry
# file to the value "Kestrelplan Path" under its key. INSTALL.txt gives the
# values the sync manager's list of conduits asks for as the zip's DLL has
# them (its GetConduitName under Wine, its target database and creator ID),
# quotes its log entries as the DLL writes them, and its reg commands set
# and delete the value under Wine.
# Usage: zip_test.sh BUILD_DIR WORK_DIR VERSION PYTHON3 CHECK_DLL_FORM OBJDUMP WINEPREFIX REPO_ROOT
set -uo pipefail
build=$1 work=$2 version=$3 python=$4 check_dll_form=$5 objdump=$6 root=$8
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
printf '%s\n' "$top/INSTALL.txt" "$top/LICENSE.txt" "$top/kestrel-csv.exe" "$top/kestrelplan-path-32bit-windows.reg" \
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
for file in INSTALL.txt LICENSE.txt kestrelplan-path-32bit-windows.reg kestrelplan-path-64bit-windows.reg; do
  lf=$(grep -c $'[^\r]$\|^$' "$dir/$file")
  [ "$lf" -eq 0 ] || fail "$file: $lf lines without CR LF"
done
grep -q "^Kestrelplan conduit $version for Windows"$'\r'"\$" "$dir/INSTALL.txt" ||
  fail "INSTALL.txt does not name version $version"
tr -d '\r' <"$dir/LICENSE.txt" | cmp -s "$root/LICENSE" - || fail "LICENSE.txt is not LICENSE"
tr -d '\r' <"$dir/INSTALL.txt" >"$work/install.txt"

# The values of INSTALL.txt's table for the list of conduits.
value() { sed -n "s/^  $1: *//p" "$work/install.txt"; }
conduit_name=$(value "Conduit name") creator=$(value "Creator ID")
conduit_file=$(value "Conduit file") database=$(value "Target database")
[ "$conduit_file" = kstlcond.dll ] || fail "INSTALL.txt gives the conduit file [$conduit_file]"
[ -n "$(value "Data folder")" ] || fail "INSTALL.txt gives no data folder"

# The conduit name as the zip's DLL gives it: kestrel-sync.exe, beside it
# with the test host's SYNC20.dll and HSLOG20.dll, prints it in --version.
mkdir "$work/host"
cp "$build/bin/kestrel-sync.exe" "$build/bin/SYNC20.dll" "$build/bin/HSLOG20.dll" "$dll" "$work/host/"
first=$(wine "$work/host/kestrel-sync.exe" --version 2>&1 </dev/null | tr -d '\r' | sed -n 1p)
[ "$first" = "kestrel-sync $version ($conduit_name conduit)" ] ||
  fail "INSTALL.txt gives the conduit name [$conduit_name]; the zip's DLL: [$first]"

# The target database, the creator ID and the log entries that INSTALL.txt
# quotes, in the DLL: strings of its read-only data, and the creator as the
# 32-bit code (first character most significant) that its code compares.
"$python" - "$dll" "$database" "$creator" "$work/install.txt" <<'PY' >&2 || fail "INSTALL.txt differs from kstlcond.dll"
import struct, sys, pefile
dll, database, creator, install = sys.argv[1:]
pe = pefile.PE(dll)
sections = {s.Name.rstrip(b"\0").decode(): s.get_data() for s in pe.sections}
rdata, text = sections[".rdata"], sections[".text"]
lines = [line.rstrip("\n") for line in open(install, encoding="ascii")]
faults = []
if b"\0" + database.encode() + b"\0" not in rdata:
    faults.append(f"target database {database!r} is not a string of the DLL")
if len(creator) != 4 or struct.pack("<I", int.from_bytes(creator.encode(), "big")) not in text:
    faults.append(f"creator ID {creator!r} is not a code the DLL uses")
entries = ["Import.csv transferred to Kestrelplan", "Kestrelplan",
           "Error: Skipping a line in Import.csv",
           "Error: KestrelDB not backed up; Import.csv not transferred",
           "Import project cannot be created", "Could not clear the database on the PalmPilot.",
           "Error: Failed to allocate enough PC memory"]
for entry in entries:
    if "  " + entry not in lines:
        faults.append(f"INSTALL.txt does not quote the log entry {entry!r} on a line of its own")
    if not any(prefix + entry.encode() + b"\0" in rdata for prefix in (b"\0", b"\t")):
        faults.append(f"the log entry {entry!r} is not a string of the DLL")
for fault in faults:
    print(f"FAIL: {fault}")
sys.exit(1 if faults else 0)
PY

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

# INSTALL.txt's reg add sets the value, its reg delete removes it again.
key='HKLM\SOFTWARE\Norvane\Kestrelplan\1.00'
add=$(grep -E '^ +reg add ' "$work/install.txt" | sed 's/^ *//')
delete=$(grep -E '^ +reg delete ' "$work/install.txt" | sed 's/^ *//')
[ "$(wc -l <<<"$add")" -eq 1 ] && [ -n "$add" ] || fail "INSTALL.txt gives not one reg add: [$add]"
[ "$(wc -l <<<"$delete")" -eq 1 ] && [ -n "$delete" ] || fail "INSTALL.txt gives not one reg delete: [$delete]"
wine reg delete "$key" /f >/dev/null 2>&1
eval "wine $add" >/dev/null 2>&1 || fail "INSTALL.txt's command failed under Wine: $add"
out=$(wine reg query "$key" /v "Kestrelplan Path" 2>&1 | tr -d '\r' | grep 'Kestrelplan Path')
[ "$out" = "    Kestrelplan Path    REG_SZ    C:\Kestrelplan" ] || fail "after INSTALL.txt's reg add: [$out]"
eval "wine $delete" >/dev/null 2>&1 || fail "INSTALL.txt's command failed under Wine: $delete"
out=$(wine reg query "$key" /v "Kestrelplan Path" 2>&1 | tr -d '\r' | grep 'Kestrelplan Path')
[ -z "$out" ] || fail "after INSTALL.txt's reg delete the value is still there: [$out]"
wine reg delete "$key" /f >/dev/null 2>&1

[ "$failures" -eq 0 ] || exit 1
echo "zip: $top.zip, kstlcond.dll $(stat -c %s "$dll") bytes stripped"
