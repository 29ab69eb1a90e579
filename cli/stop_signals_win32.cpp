#include "cli/stop_signals.h"

// Windows raises SIGINT for Ctrl-C (and SIGBREAK for Ctrl-Break, which keeps its default
// action); SIGTERM is only ever raised by the process itself, so Ctrl-C is the one to catch.
void CatchStopSignals(StopSignalHandler handler) { std::signal(SIGINT, handler); }

// A closed pipe makes the write fail with an error instead of raising a signal.
void IgnoreBrokenPipe() {}
