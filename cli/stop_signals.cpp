#include "cli/stop_signals.h"

#include <atomic>

namespace {

// Set from the handler: lock-free atomics only.
std::atomic<int> first_signal{0};
static_assert(std::atomic<int>::is_always_lock_free);
StopToken run_stop;

extern "C" void OnStopSignal(int signal_number) {
  int none = 0;
  first_signal.compare_exchange_strong(none, signal_number);
  run_stop.Request();
}

}  // namespace

const StopToken& RunStop() { return run_stop; }

void CatchRunStop() { CatchStopSignals(OnStopSignal); }

int StopSignalNumber() { return first_signal.load(); }
