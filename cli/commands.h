#pragma once
// The subcommands of rm516x-isp. Each gets the arguments after its name and returns the
// process's exit status: 0 success, 1 failure, 2 usage error.
#include <string>
#include <vector>

using CommandArgs = std::vector<std::string>;

int RunInfo(const CommandArgs& args);
int RunBurn(const CommandArgs& args);
int RunPorts(const CommandArgs& args);

// Prints "rm516x-isp NAME: problem" and a hint towards --help to standard error; returns 2.
int UsageError(const std::string& command, const std::string& problem);
