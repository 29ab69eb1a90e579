// Windows names a USB device "USB\VID_0403&PID_6001\A50285BI": vendor, product, then the
// serial number the adapter reports, or an id Windows made up (it holds '&') when it has none.
#include <cctype>

#include "serial/port_list.h"

namespace {

// The four hex digits after key ("VID_"), lower case; "" when they are not there.
std::string HexAfter(const std::string& text, const char* key) {
  const std::size_t at = text.find(key);
  if (at == std::string::npos || text.size() < at + 8) return "";
  std::string digits = text.substr(at + 4, 4);
  for (char& c : digits) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return "";
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return digits;
}

}  // namespace

bool ReadUsbInstanceId(const std::string& instance_id, PortInfo& port) {
  std::string upper = instance_id;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  // An interface of a composite device ("&MI_00") names no serial number: its parent does.
  if (upper.rfind("USB\\", 0) != 0 || upper.find("&MI_") != std::string::npos) return false;
  const std::string vendor = HexAfter(upper, "VID_");
  const std::string product = HexAfter(upper, "PID_");
  if (vendor.empty() || product.empty()) return false;
  port.usb_id = vendor + ":" + product;
  const std::size_t last = instance_id.rfind('\\');
  const std::string serial = instance_id.substr(last + 1);
  port.serial = last > 3 && serial.find('&') == std::string::npos ? serial : "";
  return true;
}
