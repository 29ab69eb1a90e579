#pragma once
// Test seam of the POSIX backend: the read and write system calls it makes on the device,
// so a test can inject EINTR or short transfers, and the modem-line ioctls (TIOCMBIS,
// TIOCMBIC with the line's bit), so a test can see a pulse a pseudo-terminal cannot carry,
// and the driver-settings ioctls (TIOCGSERIAL, TIOCSSERIAL with a struct serial_struct), so
// a test can play a USB adapter's driver. Production code leaves them alone.
#include <sys/types.h>

#include <cstddef>
#include <string>

using SerialReadCall = ssize_t (*)(int fd, void* buffer, std::size_t count);
using SerialWriteCall = ssize_t (*)(int fd, const void* buffer, std::size_t count);

extern SerialReadCall SerialSysRead;
using SerialModemCall = int (*)(int fd, unsigned long request, const int* lines);

extern SerialWriteCall SerialSysWrite;
extern SerialModemCall SerialSysModemLines;
using SerialInfoCall = int (*)(int fd, unsigned long request, void* info);
extern SerialInfoCall SerialSysSerialInfo;

// The descriptor of the open device, -1 when none.
int SerialPortFd();

// The text LastPortError shows for a refused open of path with errno error.
std::string DescribeOpenError(const std::string& path, int error);
