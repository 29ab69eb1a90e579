#pragma once
// The one port the GUI and the command line use, driven by the settings' ComPortIndex and
// BaudRateIndex and reporting to the shell. A transitional layer over GlobalPort(): the front
// ends will own their ports and these functions go with them.
#include <cstdint>
#include <string>

#include "serial/port_names.h"
#include "serial/serial_port.h"

// The process-wide port behind the functions below, for code that takes a SerialPort.
SerialPort& GlobalPort();

// 1 once a device has been opened and configured in this run; never cleared.
int PortReady();

// True while a device is open: false after a failed open or change, whatever PortReady says.
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

// Applies 8N1 at BaudRateTable[BaudRateIndex] to the open device; sets PortReady. Always 1.
int ApplyLineSettings();

// Applies the rate to the open device and shows "%s : BaudRate = %d" in status part 1.
void SetBaudRate(std::uint32_t rate);

// Total read and write time-outs in milliseconds (no gap time-out). Ignored until PortReady.
void SetPortTimeouts(std::uint32_t read_timeout_ms, std::uint32_t write_timeout_ms);

// SerialPort::Read, Write, Lost and PurgeReceive of GlobalPort().
std::uint32_t PortRead(std::uint8_t* buffer, std::uint32_t count);
void PortWrite(const std::uint8_t* buffer, std::uint32_t count);
bool PortLost();
void PurgeReceive();

// Closes the open device, if any, giving it back what it had before it was opened.
void ClosePort();

// Opens the named device instead of ComPortNames[ComPortIndex] on the next OpenComPort:
// a path on POSIX (/dev/ttyUSB0, a pseudo-terminal), a name such as COM1 on Windows.
// An empty name goes back to ComPortNames.
void SetPortDevice(const std::string& device);

// SerialPort::PulseModemLine of GlobalPort().
bool PulseModemLine(ModemLine line, bool active_low, std::uint32_t pulse_ms);

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
