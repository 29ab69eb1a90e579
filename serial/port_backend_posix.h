#pragma once
// The POSIX backend's system calls on the device, given per port so a test can inject EINTR
// or short transfers, see a modem-line pulse (TIOCMBIS, TIOCMBIC with the line's bit) a
// pseudo-terminal cannot carry, play a USB adapter's driver settings (TIOCGSERIAL,
// TIOCSSERIAL with a struct serial_struct) or a driver that cannot make a rate (which a
// pseudo-terminal, taking any, never is). Production code takes the defaults.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "serial/port_backend.h"

struct PosixSystemCalls {
  std::function<ssize_t(int fd, void* buffer, std::size_t count)> read;
  std::function<ssize_t(int fd, const void* buffer, std::size_t count)> write;
  std::function<int(int fd, unsigned long request, const int* lines)> modem_lines;
  std::function<int(int fd, unsigned long request, void* info)> serial_info;
  // The rate in bit/s the driver set after a change, 0 when it cannot be read.
  std::function<std::uint32_t(int fd)> line_rate;

  // The real calls.
  PosixSystemCalls();
};

std::unique_ptr<PortBackend> MakePosixBackend(PosixSystemCalls calls = {});

// The descriptor of port's open device, -1 when none or port has another backend.
int PosixPortFd(const SerialPort& port);

// The text LastError shows for a refused open of path with errno error.
std::string DescribeOpenError(const std::string& path, int error);
