#pragma once
// What a SerialPort needs of its platform: one object per port, holding the device and
// everything known about it. Internal to serial/ and its tests.
//
// SerialPort holds its mutex around Open, Close, Read, Write, ApplyTimeouts and the modem
// lines, so a device is never closed under a request still using it. ApplyLineSettings and
// PurgeReceive run without it, from the thread that changes the rate or starts a burn.
#include <cstdint>
#include <memory>
#include <string>

#include "serial/serial_port.h"

class PortBackend {
 public:
  virtual ~PortBackend() = default;

  // Opens the device exclusively. On failure returns false and sets *error to the user's
  // text ("cannot open <device>: <why>").
  virtual bool Open(const std::string& device, std::string* error) = 0;
  // Gives the device back the settings it had at Open, then closes it.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;

  // 8N1, no flow control, DTR and RTS inactive, at rate bit/s. False when the device is open
  // and its driver did not take the rate (it kept or chose another).
  virtual bool ApplyLineSettings(std::uint32_t rate) = 0;
  virtual void ApplyTimeouts(std::uint32_t read_timeout_ms, std::uint32_t write_timeout_ms) = 0;

  // Block until count bytes or the time-out. A device that is gone sets *gone and returns at
  // once; one that fails otherwise waits the time-out out.
  virtual std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout_ms,
                             bool* gone) = 0;
  virtual void Write(const std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout_ms,
                     bool* gone) = 0;
  virtual void PurgeReceive() = 0;
  // Bytes the receive queue holds now, 0 when that cannot be told.
  virtual std::uint32_t Queued() = 0;
  // Asserts or clears one modem line of the open device; false when the device refuses.
  virtual bool SetModemLine(ModemLine line, bool asserted) = 0;
};

// The backend of this platform with the real system calls.
std::unique_ptr<PortBackend> MakePlatformBackend();
