#include "cli/port_run.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "cli/commands.h"
#include "cli/reset_hook.h"
#include "cli/stop_signals.h"
#include "serial/port_list.h"
#include "serial/port_names.h"

namespace {

using Clock = std::chrono::steady_clock;

// How often the wait for a silent line looks at a stop.
constexpr std::uint32_t kQuietPollMs = 100;

// A stop that came from a signal ends with its status; any other ends as a failure.
int FailedStatus() {
  const int signal_number = StopSignalNumber();
  return signal_number != 0 ? kExitSignalBase + signal_number : kExitFailed;
}

PortRun Failed(const std::string& text, const std::string& error_line) {
  PortRun run;
  run.status = FailedStatus();
  run.text = text;
  run.error_line = error_line;
  return run;
}

// True once nothing has arrived for quiet_ms; false on a stop or a lost port. An operator who
// put the next board in before the line fell silent is told why nothing happens.
bool WaitLineQuiet(SerialPort& port, std::uint32_t quiet_ms, const StopToken& stop, PortEvents& events) {
  port.SetTimeouts(kQuietPollMs, kQuietPollMs);
  auto last_byte = Clock::now();
  bool told = false;
  std::uint8_t buffer[64];
  while (Clock::now() - last_byte < std::chrono::milliseconds(quiet_ms)) {
    if (stop.Requested() || port.Lost()) return false;
    if (port.Read(buffer, sizeof buffer) == 0) continue;
    last_byte = Clock::now();
    if (!told) {
      events.output().Note(events.port(), "wait",
                           "The last chip still announces: waiting for " + std::to_string(quiet_ms) +
                               " ms of silence (remove its board)");
    }
    told = true;
  }
  return true;
}

}  // namespace

bool CheckPortGiven(PortOptions& options, std::string& error) {
  if (options.ports.size() > 1) {
    error = "--port may be given once here";
    return false;
  }
  if (!options.ports.empty()) options.port = options.ports.front();
  if (kComNamesOnly || !options.port.empty()) return true;
  error = "no serial device given: use --port DEVICE ('rm516x-isp ports' lists them)";
  return false;
}

std::string ResolvePortDevice(const std::string& port, const ProfileSettings& profile, std::string& error) {
  if (port.empty()) return kComNamesOnly ? ComPortNames[profile.com_port] : "";
  if (!port.starts_with(kUsbSerialPrefix)) return port;
  return ResolveUsbSerial(port.substr(sizeof kUsbSerialPrefix - 1), ListSerialPorts(), error);
}

std::uint32_t PortRate(const PortOptions& options, const ProfileSettings& profile) {
  return BaudRateTable[options.baud_index.value_or(profile.baud_index)];
}

CommandOutputSink ResetCommandOutput(const PortOptions& options, PortEvents& events) {
  if (options.ports.size() <= 1) return nullptr;
  return [&events](const std::string& line) { events.output().Note(events.port(), "output", line); };
}

PortRun RunOnPort(const std::string& device, std::uint32_t rate, const PortOptions& options, PortEvents& events,
                  const StopToken& stop, const PortSession& session,
                  const std::function<std::string(const SessionOutcome&)>& detail, const PortFollowUp& then) {
  events.Reset();
  // The session's own stop: the run's, or the watch on --wait.
  StopToken session_stop(&stop);
  SerialPort port;
  if (!port.Open(device, rate)) {
    const std::string reason = port.LastError().empty() ? "cannot open " + device : port.LastError();
    return Failed(reason, reason);
  }
  port.PurgeReceive();
  const std::string lost = "the port " + device + " was lost";
  if (options.quiet_before_ms > 0 && !WaitLineQuiet(port, options.quiet_before_ms, stop, events)) {
    if (stop.Requested()) return Failed("", "stopped");
    return Failed(lost, lost);
  }
  const auto start = Clock::now();
  // Before the session starts: a chip reset now announces into the handshake's wait.
  if (const std::string failure = RunResetHooks(options.reset, port, stop, ResetCommandOutput(options, events));
      !failure.empty()) {
    if (stop.Requested()) return Failed("", "stopped");
    return Failed(failure, failure);
  }

  bool timed_out = false;
  std::thread watcher;
  if (options.wait_seconds) {
    watcher = std::thread([&] {
      if (events.HandshakeTimedOut(*options.wait_seconds)) {
        timed_out = true;
        session_stop.Request();
      }
    });
  }
  PortRun run;
  run.outcome = session(port, session_stop, events);
  events.Finish();
  if (watcher.joinable()) watcher.join();
  run.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  run.handshake_seen = run.outcome.handshake_seen;
  run.text = run.outcome.text;
  if (run.outcome.ok) {
    run.status = kExitOk;
    if (then) then(port);
    return run;
  }
  const std::string& text = run.text;
  run.status = FailedStatus();
  if (stop.Requested()) {
    run.error_line = text.empty() ? "stopped" : text + " (stopped)";
  } else if (run.outcome.lost || port.Lost()) {
    run.error_line = text.empty() ? lost : text + " (" + lost + ")";
  } else if (timed_out) {
    char line[96];
    std::snprintf(line, sizeof line, "no handshake from the chip within %g s (is it in ISP mode?)",
                  *options.wait_seconds);
    run.error_line = line;
  } else {
    const std::string more = detail ? detail(run.outcome) : "";
    run.error_line = more.empty() ? text : text + ": " + more;
  }
  return run;
}
