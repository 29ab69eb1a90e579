#include <windows.h>
// After windows.h; initguid.h makes the device class and property keys defined here.
#include <initguid.h>
#include <cfgmgr32.h>
#include <devguid.h>
#include <devpkey.h>
#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>

#include "serial/port_list.h"

namespace {

bool IsComName(const char* name) {
  if (std::strncmp(name, "COM", 3) != 0 || name[3] == '\0') return false;
  for (const char* c = name + 3; *c != '\0'; ++c) {
    if (!std::isdigit(static_cast<unsigned char>(*c))) return false;
  }
  return true;
}

std::string Narrow(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return "";
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size) - 1);
  return out;
}

std::string PortNameOf(HDEVINFO set, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return "";
  char name[64] = {};
  DWORD size = sizeof name - 1;
  DWORD type = 0;
  const bool ok = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                                   &size) == ERROR_SUCCESS && type == REG_SZ;
  RegCloseKey(key);
  return ok ? name : "";
}

// A USB serial driver may stack its port a level or two below the USB device that carries
// the ids (an FTDI bus device, or an interface of a composite device).
bool ReadUsbAncestor(DEVINST node, PortInfo& port) {
  for (int level = 0; level < 4; ++level) {
    char id[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDA(node, id, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) return false;
    if (ReadUsbInstanceId(id, port)) return true;
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) return false;
    node = parent;
  }
  return false;
}

// The USB fields of each port the device manager knows, by port name.
std::map<std::string, PortInfo> UsbPortsByName() {
  std::map<std::string, PortInfo> found;
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return found;
  SP_DEVINFO_DATA device = {};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    const std::string name = PortNameOf(set, device);
    PortInfo port;
    if (name.empty() || !ReadUsbAncestor(device.DevInst, port)) continue;
    wchar_t text[256] = {};
    DEVPROPTYPE type = 0;
    if (SetupDiGetDevicePropertyW(set, &device, &DEVPKEY_Device_BusReportedDeviceDesc, &type,
                                  reinterpret_cast<BYTE*>(text), sizeof text - sizeof *text,
                                  nullptr, 0) &&
        type == DEVPROP_TYPE_STRING) {
      port.product = Narrow(text);
    }
    found[name] = port;
  }
  SetupDiDestroyDeviceInfoList(set);
  return found;
}

}  // namespace

std::vector<PortInfo> ListSerialPorts() {
  std::vector<char> names(16 * 1024);
  for (;;) {
    DWORD length = QueryDosDeviceA(NULL, names.data(), static_cast<DWORD>(names.size()));
    if (length != 0) break;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() > (16u << 20)) return {};
    names.resize(names.size() * 2);
  }
  const std::map<std::string, PortInfo> usb = UsbPortsByName();
  std::vector<PortInfo> ports;
  for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1) {
    if (!IsComName(name)) continue;
    char target[MAX_PATH] = {};
    PortInfo port;
    port.device = name;
    if (QueryDosDeviceA(name, target, sizeof target) != 0) port.driver = target;
    if (const auto it = usb.find(name); it != usb.end()) {
      port.usb_id = it->second.usb_id;
      port.serial = it->second.serial;
      port.product = it->second.product;
    }
    ports.push_back(port);
  }
  // COM2 before COM10.
  std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
    return a.device.size() != b.device.size() ? a.device.size() < b.device.size()
                                              : a.device < b.device;
  });
  return ports;
}
