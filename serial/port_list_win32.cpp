#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "serial/port_list.h"

namespace {

bool IsComName(const char* name) {
  if (std::strncmp(name, "COM", 3) != 0 || name[3] == '\0') return false;
  for (const char* c = name + 3; *c != '\0'; ++c) {
    if (!std::isdigit(static_cast<unsigned char>(*c))) return false;
  }
  return true;
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
  std::vector<PortInfo> ports;
  for (const char* name = names.data(); *name != '\0'; name += std::strlen(name) + 1) {
    if (!IsComName(name)) continue;
    char target[MAX_PATH] = {};
    PortInfo port;
    port.device = name;
    if (QueryDosDeviceA(name, target, sizeof target) != 0) port.driver = target;
    ports.push_back(port);
  }
  // COM2 before COM10.
  std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
    return a.device.size() != b.device.size() ? a.device.size() < b.device.size()
                                              : a.device < b.device;
  });
  return ports;
}
