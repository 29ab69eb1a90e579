// rm516x-isp: the command line over the same core as the GUI.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/options.h"


int UsageError(const std::string& command, const std::string& problem) {
  const std::string who = command.empty() ? "rm516x-isp" : "rm516x-isp " + command;
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", who.c_str(), problem.c_str(), who.c_str());
  return kExitUsage;
}

int main(int argc, char** argv) {
  CommandLine line = ParseCommandLine(argc, argv);
  if (line.exit_status) return *line.exit_status;
  if (auto* info = std::get_if<InfoOptions>(&line.command)) return RunInfo(*info);
  if (auto* burn = std::get_if<BurnOptions>(&line.command)) return RunBurn(*burn);
  if (auto* ports = std::get_if<PortsOptions>(&line.command)) return RunPorts(*ports);
  if (auto* read = std::get_if<ReadOptions>(&line.command)) return RunRead(*read);
  if (auto* verify = std::get_if<VerifyOptions>(&line.command)) return RunVerify(*verify);
  if (auto* monitor = std::get_if<MonitorOptions>(&line.command)) return RunMonitor(*monitor);
  return kExitUsage;
}
