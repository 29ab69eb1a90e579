// rm516x-isp ports: the serial devices that --port accepts, with what is known of each.
#include <cstdio>

#include "cli/commands.h"
#include "cli/json.h"
#include "serial/port_list.h"

int RunPorts(const PortsOptions& options) {
  const std::vector<PortInfo> ports = ListSerialPorts();
  if (options.json) {
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
