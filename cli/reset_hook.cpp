#include "cli/reset_hook.h"

#include <cstdio>
#include <cstdlib>

#include <CLI/CLI.hpp>

#include "cli/port_session.h"
#include "serial/serial_port.h"

namespace {

constexpr std::uint32_t kMaxPulseMs = 60000;

const CLI::Validator kResetLine(
    [](const std::string& text) {
      for (const char* name : {"dtr", "rts", "dtr-inverted", "rts-inverted"}) {
        if (text == name) return std::string();
      }
      return "--reset needs dtr, rts, dtr-inverted or rts-inverted, not '" + text + "'";
    },
    "");

const CLI::Validator kPulseMs(
    [](const std::string& text) {
      char* end = nullptr;
      const long value = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || value < 1 || value > static_cast<long>(kMaxPulseMs)) {
        return "--reset-ms needs a number of milliseconds from 1 to 60000, not '" + text + "'";
      }
      return std::string();
    },
    "");

const CLI::Validator kCommandSeconds(
    [](const std::string& text) {
      char* end = nullptr;
      const double value = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || !(value > 0) || value > 1e6) {
        return "--reset-timeout needs a number of seconds greater than 0, not '" + text + "'";
      }
      return std::string();
    },
    "");

}  // namespace

std::string TimedOutText(double timeout_seconds) {
  char text[64];
  std::snprintf(text, sizeof text, "did not end within %g s and was ended", timeout_seconds);
  return text;
}

void AddResetOptions(CLI::App& command, ResetOptions& options) {
  command.add_option("--reset", options.line,
                     "after opening the port, pulse this modem line to reset or power the chip "
                     "(-inverted: the board takes the line as active when cleared)")
      ->type_name("dtr|rts|dtr-inverted|rts-inverted")
      ->check(kResetLine);
  command.add_option("--reset-ms", options.pulse_ms, "how long the --reset pulse lasts (default 100)")
      ->type_name("MS")
      ->check(kPulseMs);
  command.add_option("--reset-command", options.command,
                     "after opening the port, run CMD through the shell (to power the chip); "
                     "a failure ends the burn")
      ->type_name("CMD");
  command.add_option("--reset-timeout", options.command_timeout_seconds,
                     "end --reset-command and fail when it runs longer (default 10)")
      ->type_name("SECONDS")
      ->check(kCommandSeconds);
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
