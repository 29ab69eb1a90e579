#pragma once
// The serial devices a user could name on the command line (`rm516x-isp ports`).
#include <string>
#include <vector>

struct PortInfo {
  std::string device;  // what SetPortDevice takes: /dev/ttyUSB0, COM3
  std::string by_id;   // a stable alias (/dev/serial/by-id/...), "" when there is none
  std::string driver;  // the kernel or system driver behind it, "" when unknown
  // USB adapters only, each "" when unknown or not USB.
  std::string usb_id;   // vendor:product, four hex digits each ("0403:6001")
  std::string serial;   // the adapter's serial number
  std::string product;  // the product name the adapter reports
};

// Every serial device present now, sorted by device name.
// Linux: each /sys/class/tty entry backed by a real device, with the driver found under
// its device folder and the /dev/serial/by-id link that points at it. Built-in UART
// slots that the kernel probed and found no chip behind (port type 0) are left out.
// For a USB adapter, the USB fields come from the nearest USB device above the tty.
// Windows: the COM devices the system knows (QueryDosDevice), driver = its device path;
// for a USB adapter, the USB fields come from the nearest USB device above the port in the
// device tree (SetupAPI), the product name from what the device reports on its bus.
std::vector<PortInfo> ListSerialPorts();

// Fills port's usb_id and serial from a Windows device instance id of a whole USB device
// ("USB\VID_0403&PID_6001\A50285BI"). False, port untouched, for anything else.
bool ReadUsbInstanceId(const std::string& instance_id, PortInfo& port);

// The prefix of a --port value naming an adapter by its serial number.
inline constexpr char kUsbSerialPrefix[] = "usb-serial:";

// The device of the one port in ports whose serial number is serial. "" with error set
// when none or several carry it (then error names them).
std::string ResolveUsbSerial(const std::string& serial, const std::vector<PortInfo>& ports,
                             std::string& error);
