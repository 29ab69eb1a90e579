#pragma once
// The serial devices a user could name on the command line (`rm516x-isp ports`).
#include <string>
#include <vector>

struct PortInfo {
  std::string device;  // what SetPortDevice takes: /dev/ttyUSB0, COM3
  std::string by_id;   // a stable alias (/dev/serial/by-id/...), "" when there is none
  std::string driver;  // the kernel or system driver behind it, "" when unknown
};

// Every serial device present now, sorted by device name.
// Linux: each /sys/class/tty entry backed by a real device, with the driver found under
// its device folder and the /dev/serial/by-id link that points at it. Built-in UART
// slots that the kernel probed and found no chip behind (port type 0) are left out.
// Windows: the COM devices the system knows (QueryDosDevice), driver = its device path.
std::vector<PortInfo> ListSerialPorts();
