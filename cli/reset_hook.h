#pragma once
// Puts the chip into ISP without hands once its port is open: a pulse on a modem line wired
// to its reset or power switch, and a command that switches its power (a lab supply, a relay,
// a hub's port power). Any command that opens a port may offer them.
#include <string>

#include "cli/options.h"

// For the open port named port: the pulse, then the command, each only when asked for. ""
// when they did their part, else the line that says which failed and why. A stop signal
// ends the command at once.
std::string RunResetHooks(const ResetOptions& options, const std::string& port);

// Runs command through the system's shell, in a process group of its own, and waits for it
// to end: at most timeout_seconds, and only while stopped() is false (looked at every few
// ms). Either ends the whole group, so nothing the command started is left running. "" when
// it exited with status 0, else why not ("exited with status 3", TimedOutText). One file per
// platform.
std::string RunShellCommand(const std::string& command, double timeout_seconds, bool (*stopped)());

// "did not end within 10 s and was ended"
std::string TimedOutText(double timeout_seconds);
