// SPDX-License-Identifier: MIT
// The entry point Windows calls as processes and threads load and unload
// kstlcond.dll. The conduit keeps no state between calls, so attaching always
// succeeds and detaching has nothing to release.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
