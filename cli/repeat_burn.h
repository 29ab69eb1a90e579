#pragma once
// burn --repeat: chip after chip on one port, each with its numbered result, until --count
// chips or a stop signal.
#include <functional>
#include <string>

#include "cli/options.h"
#include "cli/port_session.h"

// One chip's end, as its result line, its JSON event and its log line tell it.
struct ChipResult {
  int chip = 0;
  std::string port;
  bool ok = false;
  std::string text;     // the last status, or after a failure why it failed
  std::string version;  // "VER: 2.3", "" when the chip did not tell
  double seconds = 0;   // from the wait for its handshake to its end
};

// "#1  /dev/ttyUSB0  Verify OK  VER: 2.3  4.2 s"
std::string ChipResultLine(const ChipResult& result);

// Runs burn (as RunPortSession's session) for each chip: every chip after the first once the
// line has been silent for gap_ms. A chip counts from its handshake on; a stop signal before
// it ends the run as --count does, and any other failure before it ends the run failed.
// Prints "N burned, M failed" and returns kExitOk only when none failed.
int RunRepeatBurn(PortOptions& port, const RepeatOptions& options, bool json,
                  const std::function<int()>& burn);
