#pragma once
// Puts the chip into ISP without hands once its port is open: a pulse on a modem line wired
// to its reset or power switch, and a command that switches its power (a lab supply, a relay,
// a hub's port power). Any command that opens a port may offer them.
#include <functional>
#include <string>

#include "cli/options.h"
#include "isp/session.h"
#include "serial/serial_port.h"

// Each line a command wrote (standard output and error together), without its line break.
using CommandOutputSink = std::function<void(const std::string& line)>;

// For the open port: the pulse, then the command, each only when asked for. "" when they
// did their part, else the line that says which failed and why. A stop ends the command at
// once. The command's output goes to on_output when given, else to standard error.
std::string RunResetHooks(const ResetOptions& options, SerialPort& port, const StopToken& stop,
                          const CommandOutputSink& on_output);

// Runs command through the system's shell, in a process group of its own, and waits for it
// to end: at most timeout_seconds, and only until stop is set (looked at every few ms).
// Either ends the whole group, so nothing the command started is left running. "" when it
// exited with status 0, else why not ("exited with status 3", TimedOutText). Its output goes
// to on_output line by line when given (POSIX; Windows always writes it to standard error),
// else to standard error. One file per platform.
std::string RunShellCommand(const std::string& command, double timeout_seconds, const StopToken& stop,
                            const CommandOutputSink& on_output);

// "did not end within 10 s and was ended"
std::string TimedOutText(double timeout_seconds);
