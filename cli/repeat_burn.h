#pragma once
// What burn does on one port: one chip, or with --repeat chip after chip with its numbered
// result, until --count chips or a stop. A gang runs one of these per port, each on its own
// thread.
#include <string>

#include "cli/options.h"
#include "cli/output.h"
#include "cli/port_run.h"

// How one port's run ended.
struct PortOutcome {
  int status = 1;          // kExitOk, kExitFailed, 128 + the stop signal
  std::string text;        // the last status text, or --repeat's "N burned, M failed"
  std::string error_line;  // why not, "" when it completed
};

// burn --monitor: what follows each successful burn on its port.
struct MonitorJob {
  std::uint32_t rate;
  const WatchOptions* watch;
  bool keys;  // standard input goes to the port (one port only)
};

struct BurnJob {
  const BurnPlan* plan;
  bool verify;                      // read back (else page sums)
  std::uint32_t rate;
  std::uint32_t image_checksum;     // for --log
  const RepeatOptions* repeat;      // nullptr: one chip
  const MonitorJob* monitor;        // nullptr: no --monitor
};

// Runs the job on the port given as port (a device, or usb-serial:...), printed as port
// index of output. A chip whose burn is followed by a monitor counts as burned only when the
// monitor ends ok; one chip alone ends as its monitor does. Prints its chips' results (and, with --repeat but one port, the summary
// line); the end is the caller's.
PortOutcome BurnOnPort(const std::string& port, std::size_t index, PortOptions options, const BurnJob& job,
                       const ProfileSettings& profile, Output& output, const StopToken& stop);

// "the sum of page 0x03 of bank 0 is 1234, the image's 1334" for the first page whose sum
// differed; "" when none did.
std::string PageSumMismatchText(const PageSums& sums);
