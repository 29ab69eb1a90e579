#pragma once
// The burn dialog's worker: a burn session over the GUI's port (GlobalPort) and image,
// told to the windows through the shell.
#include <atomic>

// Non-zero once a stop was asked for (RequestBurnStop); cleared only when a worker starts.
extern std::atomic<int> StopRequested;

// Asks a running burn to stop (the dialog's Stop): it ends at its next look, with the
// phase's stop text. Only the worker's start clears it.
void RequestBurnStop();

// Clears the stop request, then starts the burn on a new thread and returns at once: a stop
// set after this returns always reaches the worker. Refuses (returns false) while an earlier
// worker has not yet ended, so two workers never share the port.
bool StartBurnWorker();

// True from StartBurnWorker until the worker's thread has returned.
bool BurnWorkerRunning();
