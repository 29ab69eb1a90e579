#pragma once
// Puts the chip into ISP without hands once its port is open: a pulse on a modem line wired
// to its reset or power switch, and a command that switches its power (a lab supply, a relay,
// a hub's port power). Any command that opens a port may offer them.
#include <cstdint>
#include <string>

namespace CLI {
class App;
}

struct ResetOptions {
  std::string line;  // "" (no pulse), "dtr", "rts", "dtr-inverted" or "rts-inverted"
  std::uint32_t pulse_ms = 100;
  std::string command;  // "" for none
};

// Adds --reset, --reset-ms and --reset-command to command.
void AddResetOptions(CLI::App& command, ResetOptions& options);

// For the open port named port: the pulse, then the command, each only when asked for. ""
// when they did their part, else the line that says which failed and why.
std::string RunResetHooks(const ResetOptions& options, const std::string& port);

// Runs command through the system's shell and waits for it to end. "" when it exited with
// status 0, else why not ("exited with status 3"). One file per platform.
std::string RunShellCommand(const std::string& command);
