#pragma once
// The ports and rates the settings choose between by index.
#include <cstdint>
#include <string>

inline constexpr const char* ComPortNames[4] = {"COM1", "COM2", "COM3", "COM4"};
inline constexpr std::uint32_t BaudRateTable[8] = {4800, 9600, 14400, 19200, 28800, 38400, 57600, 115200};

// The device behind ComPortNames[index] on this platform (index 0..3).
std::string BackendDeviceForIndex(int index);
