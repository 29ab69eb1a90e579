#pragma once
// One session on one port, as every command that talks to a chip runs it: the device found,
// opened at its rate, the line left to fall silent, the reset hooks, the session with --wait
// watched, and the port closed on every way out. Nothing is printed of the end: the caller
// reports it, once for the run.
#include <functional>
#include <string>

#include "cli/options.h"
#include "cli/output.h"
#include "cli/reset_hook.h"
#include "isp/session.h"
#include "serial/port_names.h"
#include "serial/serial_port.h"
#include "settings/settings.h"

// Windows opens the port by its COM name, with the profile's port as the default; POSIX
// has no such names and needs a device path.
#ifdef _WIN32
inline constexpr bool kComNamesOnly = true;
#else
inline constexpr bool kComNamesOnly = false;
#endif

// Takes the one --port as the session's port. False, with a usage error in error, when
// --port came more than once or the platform needs a device path and none was given.
bool CheckPortGiven(PortOptions& options, std::string& error);

// The device a run opens for port (a --port value, or "" for the profile's COM port on
// Windows): a usb-serial: name is looked up now, not at parse time, as the adapter may have
// come back under another name. "" with error set when it cannot be found.
std::string ResolvePortDevice(const std::string& port, const ProfileSettings& profile, std::string& error);

// The rate a run uses: --baud, else the profile's.
std::uint32_t PortRate(const PortOptions& options, const ProfileSettings& profile);

// What the session does on the open port.
using PortSession = std::function<SessionOutcome(SerialPort& port, const StopToken& stop, SessionEvents& events)>;
// What follows a successful session on the port still open (burn --monitor).
using PortFollowUp = std::function<void(SerialPort& port)>;

// Where a reset command's lines go: standard error for one port, the port's "output" events
// for several.
CommandOutputSink ResetCommandOutput(const PortOptions& options, PortEvents& events);

struct PortRun {
  int status = 1;           // kExitOk, kExitFailed, or 128 + the stop signal
  bool handshake_seen = false;
  SessionOutcome outcome;   // what the session returned (empty when it did not start)
  std::string text;         // the last status text, for the end event
  std::string error_line;   // why the run did not complete ("" when it did)
  double seconds = 0;       // from the wait for the chip (after any quiet wait) to the end
};

// Runs session on device at rate with the port's options. stop is the run's (or the port's)
// stop: a stop signal, a --wait that runs out, or the caller. detail(outcome) adds to the
// error line of a failed session what its status text does not tell ("" for nothing). then
// runs after a successful session, before the port closes; its time is not the run's.
PortRun RunOnPort(const std::string& device, std::uint32_t rate, const PortOptions& options, PortEvents& events,
                  const StopToken& stop, const PortSession& session,
                  const std::function<std::string(const SessionOutcome&)>& detail = nullptr,
                  const PortFollowUp& then = nullptr);
