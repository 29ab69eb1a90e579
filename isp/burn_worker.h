#pragma once
// The burn dialog's worker over the process's one port (GlobalPort) and the front end's
// shell: a transitional layer over RunBurn that the front ends leave as they move to
// sessions of their own.
#include <atomic>
#include <string>

#include "isp/protocol.h"
#include "isp/session.h"

// Non-zero once a stop was asked for (RequestBurnStop); cleared only when a worker starts.
extern std::atomic<int> StopRequested;

// The plan for FirmwareImage with the bank sizes and PageSize as they are now.
BurnPlan CurrentBurnPlan();

// The whole burn on the calling thread. 1 after a complete burn, 0 after a failure or a stop.
int BurnWorker();

// Ends a burn: red text, the Burn command offered again, the dialog's button "Close".
// Returns 0.
int FailBurn(const std::string& text);

// Asks a running burn to stop (the dialog's Stop, Ctrl-C): it ends at its next look, with
// the phase's stop text. Safe from a signal handler. Only the worker's start clears it.
void RequestBurnStop();

// A fresh stop request for a session about to start (a worker's start, a read on the
// calling thread); nothing else clears it.
void ResetBurnStop();

// What the last burn's checksum phase was told (nothing differing when it asked for no sums
// or did not get that far). Read it once the burn has ended.
PageSums LastBurnPageSums();

// Clears the stop request, then starts BurnWorker on a new thread and returns at once: a stop
// set after this returns always reaches the worker. Refuses (returns false) while an earlier
// worker has not yet ended, so two workers never share the port.
bool StartBurnWorker();

// True from StartBurnWorker until the worker's thread has returned.
bool BurnWorkerRunning();

// Waits for a started worker to end (the command line and tests; the GUI never blocks on it).
// Returns the worker's result, or -1 when none was started.
int JoinBurnWorker();
