// The rate the host set on the pty. termios2 carries the rate as a number, so rates with no
// B-constant (14400, 28800) set through BOTHER read back as well as the standard ones. Kept
// apart because <asm/termbits.h> cannot share a file with <termios.h>.
#include <asm/termbits.h>
#include <sys/ioctl.h>

#include "sim/sim.h"

std::uint32_t LineRate(int fd) {
  struct termios2 settings {};
  if (ioctl(fd, TCGETS2, &settings) != 0) return 0;
  return settings.c_ospeed;
}
