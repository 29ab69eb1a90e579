// rm516x-isp ports: the serial devices that --port accepts, with what is known of each.
#include <cstdio>

#include "cli/commands.h"
#include "serial/port_list.h"

namespace {
constexpr const char* kPortsUsage = "usage: rm516x-isp ports\n";
constexpr const char* kPortsHelp =
    "Lists the serial devices present now, one a line: the name to pass to\n"
    "'rm516x-isp burn --port', then its stable alias and its driver when known.\n"
    "Exit status: 0, also when there is none; 2 for a usage error.\n";
}  // namespace

int RunPorts(const CommandArgs& args) {
  if (!args.empty()) {
    if (args[0] == "-h" || args[0] == "--help") {
      std::fputs(kPortsUsage, stdout);
      std::fputs(kPortsHelp, stdout);
      return 0;
    }
    return UsageError("ports", "unexpected argument '" + args[0] + "'");
  }
  const std::vector<PortInfo> ports = ListSerialPorts();
  if (ports.empty()) {
    std::fputs("no serial devices found\n", stderr);
    return 0;
  }
  for (const PortInfo& port : ports) {
    std::string line = port.device;
    if (!port.by_id.empty()) line += "  " + port.by_id;
    if (!port.driver.empty()) line += "  (" + port.driver + ")";
    std::printf("%s\n", line.c_str());
  }
  return 0;
}
