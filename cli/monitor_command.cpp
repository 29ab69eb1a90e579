// rm516x-isp monitor: a serial terminal on the port, for the UART of the program a board runs.
#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/monitor.h"
#include "cli/output.h"
#include "cli/port_run.h"
#include "cli/stop_signals.h"

int RunMonitor(MonitorOptions& options) {
  std::string error;
  if (!CheckPortGiven(options.port, error)) return UsageError("monitor", error);
  const ProfileSettings profile = ReadProfile();
  const std::uint32_t rate = options.rate.value_or(PortRate(options.port, profile));
  Output output(options.json, {options.port.port});
  const std::string device = ResolvePortDevice(options.port.port, profile, error);
  if (device.empty()) {
    output.End(false, error, error);
    return kExitFailed;
  }
  // Caught from before the open, so that a signal never leaves the port or the terminal raw.
  CatchRunStop();
  SerialPort port;
  if (!port.Open(device, rate)) {
    output.End(false, port.LastError(), port.LastError());
    return kExitFailed;
  }
  if (!port.SetRate(rate)) return UsageError("monitor", RateRefusedText(device, rate));
  const MonitorEnd end = RunMonitorOn(port, options.watch, true, options.port.reset, nullptr, output, 0, RunStop());
  output.End(end.ok, end.text, end.error_line);
  return end.status;
}
