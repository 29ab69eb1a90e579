#pragma once
// The subcommands of rm516x-isp and the exit status they all share.
#include <string>
#include <vector>

#include "cli/options.h"

// The exit status of every command, also listed in the README and in --help.
enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,  // the load, the burn or the read failed, or verify found a difference
  kExitUsage = 2,   // the command line cannot be run as given
  // A stop by a signal: 128 + its number, so 130 Ctrl-C, 143 SIGTERM, 129 SIGHUP.
  kExitSignalBase = 128,
};

// Each runs its command with the options parsed for it and returns the exit status. Each
// NAME_command.cpp holds one.
int RunInfo(const InfoOptions& options);
int RunBurn(BurnOptions& options);
int RunPorts(const PortsOptions& options);
int RunRead(ReadOptions& options);
int RunVerify(VerifyOptions& options);
int RunMonitor(MonitorOptions& options);

// Prints "rm516x-isp NAME: problem" and a hint towards --help to standard error; returns
// kExitUsage.
int UsageError(const std::string& command, const std::string& problem);
