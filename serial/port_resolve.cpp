// usb-serial:SERIAL names an adapter that may come back as another ttyUSBn after a replug.
#include "serial/port_list.h"

std::string ResolveUsbSerial(const std::string& serial, const std::vector<PortInfo>& ports,
                             std::string& error) {
  std::vector<std::string> matches;
  for (const PortInfo& port : ports) {
    if (!serial.empty() && port.serial == serial) matches.push_back(port.device);
  }
  if (matches.size() == 1) return matches.front();
  if (matches.empty()) {
    error = "no USB serial adapter with serial number '" + serial + "' is plugged in";
  } else {
    error = "several USB serial adapters carry serial number '" + serial + "':";
    for (const std::string& device : matches) error += " " + device;
  }
  return "";
}
