#include <signal.h>

#include "cli/stop_signals.h"

namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

void SetAction(int signal_number, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  ::sigaction(signal_number, &action, nullptr);
}

}  // namespace

void CatchStopSignals(StopSignalHandler handler) {
  for (int signal_number : kStopSignals) SetAction(signal_number, handler);
}

void IgnoreBrokenPipe() { SetAction(SIGPIPE, SIG_IGN); }
