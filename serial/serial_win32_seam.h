#pragma once
// Test seam of the Win32 backend: the EscapeCommFunction call that drives a modem line, so a
// test can see a pulse that a port without modem lines (a pseudo-terminal under Wine) cannot
// carry. Production code leaves it alone.
#include <windows.h>

using SerialEscapeCall = BOOL(WINAPI*)(HANDLE device, DWORD function);

extern SerialEscapeCall SerialSysEscape;
