#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "serial/port_list.h"
#include "serial/port_list_posix.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  std::getline(in, line);
  return line;
}

// The driver that makes the device: newer kernels put a generic "serial-base" layer
// between the tty and the UART's own driver, so look past it.
std::string DriverOf(const fs::path& tty_entry) {
  std::error_code ec;
  fs::path device = fs::canonical(tty_entry / "device", ec);
  for (int depth = 0; !ec && depth < 4 && !device.empty(); ++depth) {
    fs::path driver = fs::canonical(device / "driver", ec);
    if (!ec) {
      if (driver.parent_path().parent_path().filename() != "serial-base") {
        return driver.filename().string();
      }
    }
    ec.clear();
    device = device.parent_path();
  }
  return "";
}

// The nearest USB device above the tty's device (the interface's parent holds idVendor),
// with what it says of itself. Leaves the fields empty for a device not on USB.
void FillUsbFields(const fs::path& tty_entry, PortInfo& port) {
  std::error_code ec;
  fs::path device = fs::canonical(tty_entry / "device", ec);
  for (int depth = 0; !ec && depth < 4 && !device.empty(); ++depth) {
    if (fs::exists(device / "idVendor", ec)) {
      port.usb_id = ReadFirstLine(device / "idVendor") + ":" + ReadFirstLine(device / "idProduct");
      port.serial = ReadFirstLine(device / "serial");
      port.product = ReadFirstLine(device / "product");
      return;
    }
    device = device.parent_path();
  }
}

}  // namespace

std::vector<PortInfo> ListSerialPortsUnder(const fs::path& sys_class_tty, const fs::path& dev,
                                           const fs::path& by_id_dir) {
  std::map<std::string, std::string> aliases;  // canonical device -> by-id link
  std::error_code ec;
  for (const auto& link : fs::directory_iterator(by_id_dir, ec)) {
    std::error_code link_ec;
    fs::path target = fs::canonical(link.path(), link_ec);
    if (!link_ec) aliases.emplace(target.string(), link.path().string());
  }

  std::vector<PortInfo> ports;
  for (const auto& entry : fs::directory_iterator(sys_class_tty, ec)) {
    std::error_code entry_ec;
    if (!fs::exists(entry.path() / "device", entry_ec)) continue;  // virtual terminals, ptys
    fs::path type_file = entry.path() / "type";
    if (fs::exists(type_file, entry_ec) && ReadFirstLine(type_file) == "0") continue;
    PortInfo port;
    port.device = (dev / entry.path().filename()).string();
    port.driver = DriverOf(entry.path());
    FillUsbFields(entry.path(), port);
    std::error_code dev_ec;
    fs::path canonical_device = fs::canonical(port.device, dev_ec);
    auto alias = aliases.find(dev_ec ? port.device : canonical_device.string());
    if (alias != aliases.end()) port.by_id = alias->second;
    ports.push_back(port);
  }
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return a.device < b.device; });
  return ports;
}

std::vector<PortInfo> ListSerialPorts() {
  return ListSerialPortsUnder("/sys/class/tty", "/dev", "/dev/serial/by-id");
}
