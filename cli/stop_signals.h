#pragma once
// The signals that end a burn on the command line, one file per platform
// (stop_signals_posix.cpp, stop_signals_win32.cpp).
#include <csignal>

using StopSignalHandler = void (*)(int signal_number);

// Routes every signal that should stop a burn as the Stop button does to handler: Ctrl-C,
// and on POSIX also SIGTERM and SIGHUP. The handler may only touch lock-free atomics.
void CatchStopSignals(StopSignalHandler handler);

// Output to a closed pipe fails (and is dropped) instead of ending the process.
void IgnoreBrokenPipe();
