#pragma once
// The serial terminal that monitor runs, and burn --monitor after its burn: what the port
// receives shown as it comes (as text, with timestamps or in hex, or as JSON events) and what
// is typed sent, until --expect's text has arrived, --seconds ran out, Ctrl-] was typed on a
// terminal, a stop came or the port was lost.
#include <cstddef>
#include <cstdint>
#include <string>

#include "cli/options.h"
#include "cli/output.h"
#include "cli/reset_hook.h"
#include "isp/session.h"
#include "serial/serial_port.h"

// How a monitor ended.
struct MonitorEnd {
  int status = 1;          // kExitOk, kExitFailed, or 128 + the stop signal
  bool ok = false;         // --expect's text came, or none was asked for and nothing failed
  std::string text;        // "expect passed", "expect timed out", "time is up", "closed", ...
  std::string error_line;  // why not ok, "" when ok
};

// Watches the open port, at the rate it is set to, as port index of output. With any reset
// hook, first discards what came before and runs the hooks, so the program starts afresh
// (their command's lines go to reset_output, see RunResetHooks). With keys, standard input
// goes to the port, a terminal in raw mode until the end.
MonitorEnd RunMonitorOn(SerialPort& port, const WatchOptions& watch, bool keys, const ResetOptions& reset,
                        const CommandOutputSink& reset_output, Output& output, std::size_t index,
                        const StopToken& stop);

// "the driver of /dev/ttyUSB0 refuses 12345678 bit/s"
std::string RateRefusedText(const std::string& device, std::uint32_t rate);
