// rm516x-isp: the command line over the same core as the GUI.
#include <cstdio>
#include <string>

#include "cli/commands.h"

namespace {

struct Command {
  const char* name;
  int (*run)(const CommandArgs& args);
  const char* summary;
};

// Each subcommand lives in its own NAME_command.cpp; add it here to make it reachable.
const Command kCommands[] = {
    {"info", RunInfo, "load files as the Open command does and show what would be burned"},
    {"burn", RunBurn, "load files and burn them into the chip over a serial port"},
    {"ports", RunPorts, "list the serial devices that --port accepts"},
};

void PrintUsage(std::FILE* out) {
  std::fputs("usage: rm516x-isp COMMAND [OPTIONS] [ARGS]\n\nCommands:\n", out);
  for (const Command& command : kCommands) {
    std::fprintf(out, "  %-8s %s\n", command.name, command.summary);
  }
  std::fputs("\n'rm516x-isp COMMAND --help' describes one command.\n", out);
}

}  // namespace

int UsageError(const std::string& command, const std::string& problem) {
  const std::string who = command.empty() ? "rm516x-isp" : "rm516x-isp " + command;
  std::fprintf(stderr, "%s: %s\nTry '%s --help'.\n", who.c_str(), problem.c_str(), who.c_str());
  return 2;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "-h" || name == "--help" || name == "help") {
    PrintUsage(stdout);
    return 0;
  }
  if (name == "--version") {
    std::printf("rm516x-isp %s\n", RM_VERSION);
    return 0;
  }
  for (const Command& command : kCommands) {
    if (name == command.name) return command.run(CommandArgs(argv + 2, argv + argc));
  }
  return UsageError("", "unknown command '" + name + "'");
}
