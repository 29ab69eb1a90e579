#pragma once
// The signals that end a run on the command line, one file per platform for the handlers
// (stop_signals_posix.cpp, stop_signals_win32.cpp).
#include <csignal>

#include "isp/session.h"

using StopSignalHandler = void (*)(int signal_number);

// Routes every signal that should stop a run as the Stop button does to handler: Ctrl-C,
// and on POSIX also SIGTERM and SIGHUP. The handler may only touch lock-free atomics.
void CatchStopSignals(StopSignalHandler handler);

// Output to a closed pipe fails (and is dropped) instead of ending the process.
void IgnoreBrokenPipe();

// The run's stop, set by the first stop signal once CatchRunStop is in force: every session
// of the run (one per port) takes a token whose parent it is.
const StopToken& RunStop();
void CatchRunStop();

// The first stop signal's number, 0 before one came.
int StopSignalNumber();
