#pragma once
// ListSerialPorts over other roots than /sys/class/tty, /dev and /dev/serial/by-id,
// so a test can lay out a fake tree.
#include <filesystem>
#include <vector>

#include "serial/port_list.h"

std::vector<PortInfo> ListSerialPortsUnder(const std::filesystem::path& sys_class_tty,
                                           const std::filesystem::path& dev,
                                           const std::filesystem::path& by_id_dir);
