#pragma once
// Rates without a Bxxx constant (14400, 28800): set and read through the kernel's
// termios2 interface, which cannot share a translation unit with <termios.h>.
#include <cstdint>

// Sets input and output speed of fd to rate bit/s, leaving the other flags. True on success.
bool SetArbitraryRate(int fd, std::uint32_t rate);

// The output speed fd is set to, in bit/s; 0 when it cannot be read.
std::uint32_t ReadArbitraryRate(int fd);
