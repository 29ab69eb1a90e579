#pragma once
// What serial_common.cpp needs of a platform backend (serial_port_posix.cpp or
// serial_port_win32.cpp). Internal to serial/: nothing outside the folder includes it.
//
// Open and close run on the UI thread while holding PortIoMutex; read, write and the
// time-out setter run on the burn worker while holding it too, so a device is never
// closed under a request that is still using it.
#include <cstdint>
#include <mutex>
#include <string>

#include "serial/serial_port.h"

// Held around every use of the device that can overlap a close from another thread.
extern std::mutex PortIoMutex;

// The device behind ComPortNames[index] on this platform.
std::string BackendDeviceForIndex(int index);

// Opens the device exclusively. On failure returns false and sets *error to the
// user's text ("cannot open <device>: <why>").
bool BackendOpen(const std::string& device, std::string* error);
// Gives the device back the settings it had at BackendOpen, then closes it.
void BackendClose();
bool BackendIsOpen();

// 8N1, no flow control, DTR and RTS inactive, at rate bit/s. Failures are not reported.
void BackendApplyLineSettings(std::uint32_t rate);
void BackendApplyTimeouts(std::uint32_t read_timeout_ms, std::uint32_t write_timeout_ms);

// A request found the device gone (see PortLost). Callable from any thread.
void NotePortLost();

// Block until count bytes or the time-out. A device that is gone calls NotePortLost and
// returns at once; one that fails otherwise waits the time-out out.
std::uint32_t BackendRead(std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout_ms);
void BackendWrite(const std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout_ms);
void BackendPurgeReceive();
// Asserts or clears one modem line of the open device; false when the device refuses.
bool BackendSetModemLine(ModemLine line, bool asserted);
