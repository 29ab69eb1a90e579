#include "cli/reset_hook.h"

#include <cstdio>

std::string TimedOutText(double timeout_seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "did not end within %g s and was ended", timeout_seconds);
  return text;
}

std::string RunResetHooks(const ResetOptions& options, SerialPort& port, const StopToken& stop,
                          const CommandOutputSink& on_output) {
  if (!options.line.empty()) {
    const bool rts = options.line.rfind("rts", 0) == 0;
    const bool active_low = options.line.find("-inverted") != std::string::npos;
    if (!port.PulseModemLine(rts ? ModemLine::kRts : ModemLine::kDtr, active_low, options.pulse_ms)) {
      return "--reset " + options.line + ": cannot drive " + (rts ? "RTS" : "DTR") + " on " + port.Device() +
             " (the device has no such modem line)";
    }
  }
  if (!options.command.empty()) {
    const std::string why = RunShellCommand(options.command, options.command_timeout_seconds, stop, on_output);
    if (!why.empty()) return "--reset-command '" + options.command + "' " + why;
  }
  return "";
}
