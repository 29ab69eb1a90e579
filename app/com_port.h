#pragma once
// The GUI's one port, driven by ComPortIndex and BaudRateIndex and shown in status part 1.
// User-interface thread only, but for GlobalPort's own calls, which the burn worker makes.
#include <cstdint>
#include <string>

#include "serial/port_names.h"
#include "serial/serial_port.h"

// ComPortIndex while no port is chosen: "COM : Disconnect".
inline constexpr int kDisconnectedIndex = 4;

// The port behind the functions below, for the burn worker's session.
SerialPort& GlobalPort();

// True while a device is open: false after a failed open or change.
bool PortIsOpen();

// 1 when a device has been opened and configured (now or earlier in this run, and not lost
// since: a lost device is opened afresh); otherwise shows "Can not open COM port ..." and
// returns 0. The open at start-up.
int EnsurePortOpen();

// 1 when a device is open and not lost; otherwise opens it afresh (OpenComPort) and, when
// that fails, shows "Can not open COM port ..." and returns 0. Each call tries again, so an
// adapter plugged back in is found: the open before each Burn.
int RetryPortOpen();

// Opens the device of ComPortIndex (or the device set by SetPortDevice), applies the line
// settings and writes status part 1. 1 on success; 0 after an 800 ms pause on failure.
int OpenComPort();

// Applies the rate to the open device and shows "%s : BaudRate = %d" in status part 1.
void SetBaudRate(std::uint32_t rate);

bool PortLost();
void PurgeReceive();

// Closes the open device, if any, giving it back what it had before it was opened.
void ClosePort();

// Opens the named device instead of ComPortNames[ComPortIndex] on the next OpenComPort
// (tests put a simulator's port here). An empty name goes back to ComPortNames.
void SetPortDevice(const std::string& device);

// Why the last open failed, in the user's terms ("" after a success).
std::string LastPortError();

// Closes the open device and opens the one of ComPortIndex (or SetPortDevice) with the
// line settings, without the failure pause and without touching the status bar: the
// ComPortDialog's way of changing the port. 1 on success, 0 on failure (see LastPortError).
int ReopenComPort();

// Status part 1 for the port in use at rate bit/s: "%s : BaudRate = %d" with the device's
// name (the SetPortDevice name, else ComPortNames[ComPortIndex]), or "COM : Disconnect"
// while ComPortIndex is 4, or outside the table with no SetPortDevice name.
std::string PortStatusText(std::uint32_t rate);

// Pause after a failed OpenComPort, in milliseconds.
inline constexpr std::uint32_t kOpenFailurePauseMs = 800;
