#pragma once
// The subcommands of rm516x-isp and the exit status they all share.
#include <functional>
#include <string>
#include <vector>

namespace CLI {
class App;
}

// The exit status of every command, also listed in the README and in --help.
enum ExitStatus : int {
  kExitOk = 0,
  kExitFailed = 1,  // the load, the burn or the read failed, or verify found a difference
  kExitUsage = 2,   // the command line cannot be run as given
  // A stop by a signal: 128 + its number, so 130 Ctrl-C, 143 SIGTERM, 129 SIGHUP.
  kExitSignalBase = 128,
};

// The arguments the program was started with, after its name (set by main).
extern std::vector<std::string> CommandArgs;

// Runs a command once its options have been parsed; returns the exit status.
using CommandRun = std::function<int()>;

// Each adds its subcommand, with its options and help, to app. Each NAME_command.cpp holds one;
// main.cpp lists them.
CommandRun AddInfoCommand(CLI::App& app);
CommandRun AddBurnCommand(CLI::App& app);
CommandRun AddPortsCommand(CLI::App& app);
CommandRun AddReadCommand(CLI::App& app);
CommandRun AddVerifyCommand(CLI::App& app);

// Prints "rm516x-isp NAME: problem" and a hint towards --help to standard error; returns
// kExitUsage.
int UsageError(const std::string& command, const std::string& problem);
