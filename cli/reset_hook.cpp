#include "cli/reset_hook.h"

#include <cstdio>

#include "cli/port_session.h"
#include "serial/global_port.h"

std::string TimedOutText(double timeout_seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "did not end within %g s and was ended", timeout_seconds);
  return text;
}

std::string RunResetHooks(const ResetOptions& options, const std::string& port) {
  if (!options.line.empty()) {
    const bool rts = options.line.rfind("rts", 0) == 0;
    const bool active_low = options.line.find("-inverted") != std::string::npos;
    if (!PulseModemLine(rts ? ModemLine::kRts : ModemLine::kDtr, active_low, options.pulse_ms)) {
      return "--reset " + options.line + ": cannot drive " + (rts ? "RTS" : "DTR") + " on " + port +
             " (the device has no such modem line)";
    }
  }
  if (!options.command.empty()) {
    const std::string why =
        RunShellCommand(options.command, options.command_timeout_seconds, StopSignalSeen);
    if (!why.empty()) return "--reset-command '" + options.command + "' " + why;
  }
  return "";
}
