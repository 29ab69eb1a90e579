#pragma once
// The serial link to the chip: one device at a time, 8N1, no flow control, DTR and RTS
// inactive. Reads and writes block on the request (no busy wait) under the time-outs set
// by SetPortTimeouts. One backend per platform: serial_port_win32.cpp, serial_port_posix.cpp.
#include <cstdint>
#include <string>

extern const char* const ComPortNames[4];      // "COM1".."COM4"
extern const std::uint32_t BaudRateTable[8];   // 4800 .. 115200 bit/s

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

// Waits until count bytes arrived or the read time-out since the call ran out.
// Returns the number of bytes placed in buffer, 0..count (short = timed out).
// On a port that is not open it waits out the time-out and returns 0; on a lost port
// (PortLost) it returns what arrived before the loss, at once.
std::uint32_t PortRead(std::uint8_t* buffer, std::uint32_t count);

// Discards unsent output, then sends count bytes, waiting at most the write time-out.
// On a port that is not open it waits out the time-out; on a lost port it returns at once.
void PortWrite(const std::uint8_t* buffer, std::uint32_t count);

// True once a read or write found the device gone (unplugged, hung up): nothing more will
// pass, and every later PortRead and PortWrite returns at once. Cleared when a device is
// opened (OpenComPort, ReopenComPort). Safe from any thread.
bool PortLost();

// Discards whatever the receive queue holds.
void PurgeReceive();

// Closes the open device, if any, clearing its exclusive flag and giving it back the
// terminal settings it had before it was opened.
void ClosePort();

// Opens the named device instead of ComPortNames[ComPortIndex] on the next OpenComPort:
// a path on POSIX (/dev/ttyUSB0, a pseudo-terminal), a name such as COM1 on Windows.
// An empty name goes back to ComPortNames.
void SetPortDevice(const std::string& device);

// The modem control lines a board may wire to the chip's reset or power switch.
enum class ModemLine { kDtr, kRts };

// Drives line to its active level for at least pulse_ms, then back to its resting level,
// where it stays. active_low: the board treats the line as active when it is cleared, so the
// pulse clears it and the rest asserts it. False at once when no device is open or the device
// refuses the line (a pseudo-terminal has none); the line is then left as it was.
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

// Time-outs in force before the first SetPortTimeouts that applies, in milliseconds.
inline constexpr std::uint32_t kDefaultPortTimeoutMs = 100;
// Pause after a failed OpenComPort, in milliseconds.
inline constexpr std::uint32_t kOpenFailurePauseMs = 800;
