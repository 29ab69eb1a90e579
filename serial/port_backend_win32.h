#pragma once
// The Win32 backend's EscapeCommFunction call that drives a modem line, given per port so a
// test can see a pulse that a port without modem lines (a pseudo-terminal under Wine) cannot
// carry. Production code takes the default.
#include <windows.h>

#include <functional>
#include <memory>

#include "serial/port_backend.h"

struct Win32SystemCalls {
  std::function<BOOL(HANDLE device, DWORD function)> escape = EscapeCommFunction;
};

std::unique_ptr<PortBackend> MakeWin32Backend(Win32SystemCalls calls = {});
