// rm516x-isp ports: the serial devices that --port accepts, with what is known of each.
#include <cstdio>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "serial/port_list.h"

namespace {

int RunPorts() {
  const std::vector<PortInfo> ports = ListSerialPorts();
  if (ports.empty()) {
    std::fputs("no serial devices found\n", stderr);
    return kExitOk;
  }
  for (const PortInfo& port : ports) {
    std::string line = port.device;
    if (!port.by_id.empty()) line += "  " + port.by_id;
    if (!port.driver.empty()) line += "  (" + port.driver + ")";
    std::printf("%s\n", line.c_str());
  }
  return kExitOk;
}

}  // namespace

CommandRun AddPortsCommand(CLI::App& app) {
  app.add_subcommand("ports", "list the serial devices that --port accepts")
      ->footer("One a line: the name to pass to 'rm516x-isp burn --port', then its stable alias\n"
               "and its driver when known. Exit status 0 also when there is none.\n");
  return RunPorts;
}
