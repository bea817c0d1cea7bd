#!/usr/bin/python3
# SPDX-License-Identifier: MIT
"""Checks the outer form of a built kstlcond.dll: what the host sees before it
calls anything. 32-bit DLL that Windows may load at a random address and run
with data execution prevention; module name and exports with their ordinals; the
exact set of imported DLLs, SYNC20.dll and HSLOG20.dll by ordinal only; the
version block, strings and numbers.

usage: check_dll_form.py KSTLCOND_DLL
Exits 0 when every check holds, 1 with one line per fault otherwise.
"""

import sys

import pefile

EXPECTED_MODULE_NAME = b"kstlcond.dll"
EXPECTED_EXPORTS = {1: b"GetConduitName", 2: b"GetConduitVersion", 3: b"OpenConduit"}

# Imported only by ordinal.
EXPECTED_ORDINAL_IMPORTS = {
    "SYNC20.dll": {26, 27, 28, 30, 32, 36, 41},
    "HSLOG20.dll": {52},
}
# Imported by name; the registry calls are all the conduit asks of ADVAPI32.
EXPECTED_ADVAPI32_IMPORTS = {b"RegCloseKey", b"RegOpenKeyExA", b"RegQueryValueExA"}
# DLLs that every Windows has. Anything else (a C++ runtime, libgcc,
# winpthread) would have to be shipped with the conduit.
SYSTEM_DLLS = {"advapi32.dll", "kernel32.dll", "msvcrt.dll"}

EXPECTED_STRINGS = {
    b"Comments": b"Kestrelplan Backup Conduit",
    b"FileDescription": b"KSTLCOND DLL",
    b"FileVersion": b"1.01",
    b"InternalName": b"KSTLCOND",
    b"OriginalFilename": b"KSTLCOND.DLL",
    b"ProductName": b"KSTLCOND Dynamic Link Library",
    b"ProductVersion": b"1.00",
}
EXPECTED_STRING_BLOCK = b"040904b0"
EXPECTED_VERSION = (0x00010000, 0x00000001)  # 1.0.0.1

faults = []


def check(condition, message):
    if not condition:
        faults.append(message)


def check_header(pe):
    check(pe.FILE_HEADER.Machine == pefile.MACHINE_TYPE["IMAGE_FILE_MACHINE_I386"],
          f"machine is {pe.FILE_HEADER.Machine:#x}, not i386")
    check(pe.OPTIONAL_HEADER.Magic == pefile.OPTIONAL_HEADER_MAGIC_PE, "not a PE32 image")
    check(pe.is_dll(), "not a DLL")
    characteristics = pe.OPTIONAL_HEADER.DllCharacteristics
    for flag, option in (("IMAGE_DLLCHARACTERISTICS_DYNAMIC_BASE", "--dynamicbase"),
                         ("IMAGE_DLLCHARACTERISTICS_NX_COMPAT", "--nxcompat")):
        check(characteristics & pefile.DLL_CHARACTERISTICS[flag],
              f"{flag} is not set (link with {option})")
    check(hasattr(pe, "DIRECTORY_ENTRY_BASERELOC"),
          "no base relocations: the DLL could not be moved to another address")


def check_exports(pe):
    if not hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        faults.append("no export directory")
        return
    exports = pe.DIRECTORY_ENTRY_EXPORT
    check(exports.name == EXPECTED_MODULE_NAME,
          f"export module name is {exports.name!r}, not {EXPECTED_MODULE_NAME!r}")
    found = {symbol.ordinal: symbol.name for symbol in exports.symbols}
    check(found == EXPECTED_EXPORTS, f"exports are {found}, not {EXPECTED_EXPORTS}")
    for symbol in exports.symbols:
        check(symbol.forwarder is None, f"export {symbol.name!r} is forwarded")


def check_imports(pe):
    imports = {entry.dll.decode("ascii"): entry.imports
               for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}
    expected_dlls = set(EXPECTED_ORDINAL_IMPORTS) | SYSTEM_DLLS
    found_dlls = {name if name in EXPECTED_ORDINAL_IMPORTS else name.lower()
                  for name in imports}
    check(found_dlls == expected_dlls,
          f"imported DLLs are {sorted(imports)}, not {sorted(expected_dlls)}")

    for dll, ordinals in EXPECTED_ORDINAL_IMPORTS.items():
        entries = imports.get(dll, [])
        by_name = [imp.name for imp in entries if not imp.import_by_ordinal]
        check(not by_name, f"{dll} functions imported by name: {by_name}")
        found = {imp.ordinal for imp in entries if imp.import_by_ordinal}
        check(found == ordinals, f"{dll} ordinals are {sorted(found)}, not {sorted(ordinals)}")

    advapi32 = next((entries for name, entries in imports.items()
                     if name.lower() == "advapi32.dll"), [])
    found = {imp.name for imp in advapi32}
    check(found == EXPECTED_ADVAPI32_IMPORTS,
          f"ADVAPI32.dll imports are {sorted(found)}, not {sorted(EXPECTED_ADVAPI32_IMPORTS)}")


def check_version(pe):
    if not getattr(pe, "VS_FIXEDFILEINFO", None):
        faults.append("no version block")
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    check((fixed.FileVersionMS, fixed.FileVersionLS) == EXPECTED_VERSION,
          f"fixed file version is {fixed.FileVersionMS:#010x}.{fixed.FileVersionLS:#010x}")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == EXPECTED_VERSION,
          f"fixed product version is {fixed.ProductVersionMS:#010x}."
          f"{fixed.ProductVersionLS:#010x}")

    string_tables = []
    translations = []
    for info_list in pe.FileInfo:
        for info in info_list:
            if info.Key == b"StringFileInfo":
                string_tables.extend(info.StringTable)
            elif info.Key == b"VarFileInfo":
                translations.extend(var.entry.get(b"Translation") for var in info.Var)
    blocks = [table.LangID for table in string_tables]
    check(blocks == [EXPECTED_STRING_BLOCK],
          f"string blocks are {blocks}, not [{EXPECTED_STRING_BLOCK!r}]")
    for table in string_tables:
        check(table.entries == EXPECTED_STRINGS,
              f"strings of block {table.LangID!r} are {table.entries}, not {EXPECTED_STRINGS}")
    check(translations == ["0x0409 0x04b0"],
          f"translations are {translations}, not ['0x0409 0x04b0']")


def main():
    if len(sys.argv) != 2:
        print("usage: check_dll_form.py KSTLCOND_DLL", file=sys.stderr)
        return 2
    path = sys.argv[1]
    try:
        pe = pefile.PE(path)
    except (OSError, pefile.PEFormatError) as error:
        print(f"{path}: {error}", file=sys.stderr)
        return 1
    check_header(pe)
    check_exports(pe)
    check_imports(pe)
    check_version(pe)
    for fault in faults:
        print(f"{path}: {fault}", file=sys.stderr)
    if faults:
        return 1
    print(f"{path}: exports, imports and version block as expected")
    return 0


if __name__ == "__main__":
    sys.exit(main())
