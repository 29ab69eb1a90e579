// rm516x-isp ports: the serial devices that --port accepts, with what is known of each.
#include <cstdio>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/json.h"
#include "serial/port_list.h"

namespace {

bool json_output = false;

int RunPorts() {
  const std::vector<PortInfo> ports = ListSerialPorts();
  if (json_output) {
    // One object a line, like the other commands' events; no line when there is none.
    for (const PortInfo& port : ports) {
      Json line{{"device", port.device}, {"by_id", port.by_id}, {"driver", port.driver},
                {"usb_id", port.usb_id}, {"serial", port.serial}, {"product", port.product}};
      std::printf("%s\n", JsonDump(line).c_str());
    }
    return kExitOk;
  }
  if (ports.empty()) {
    std::fputs("no serial devices found\n", stderr);
    return kExitOk;
  }
  for (const PortInfo& port : ports) {
    std::string line = port.device;
    if (!port.by_id.empty()) line += "  " + port.by_id;
    if (!port.driver.empty()) line += "  (" + port.driver + ")";
    if (!port.usb_id.empty()) line += "  usb " + port.usb_id;
    if (!port.serial.empty()) line += "  serial " + port.serial;
    if (!port.product.empty()) line += "  \"" + port.product + "\"";
    std::printf("%s\n", line.c_str());
  }
  return kExitOk;
}

}  // namespace

CommandRun AddPortsCommand(CLI::App& app) {
  CLI::App* command = app.add_subcommand("ports", "list the serial devices that --port accepts");
  command->add_flag("--json", json_output, "one JSON object a line");
  command->footer(
      "One a line: the name to pass to 'rm516x-isp burn --port', then its stable alias,\n"
      "its driver and, for a USB adapter, its vendor:product id, serial number and product\n"
      "name when known. 'usb-serial:SERIAL' as --port picks the adapter with that serial\n"
      "number. Exit status 0 also when there is none.\n");
  return RunPorts;
}
