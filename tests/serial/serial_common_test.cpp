// Port behaviour that needs no device: the failed open, the wait on a port that is not
// open. Built for both platforms (the Windows build runs it under Wine).
#include <gtest/gtest.h>

#include <chrono>

#include "serial/port_list.h"
#include "serial/serial_port.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A port without a device keeps its own time-outs and waits them out, so a caller's loop
// does not spin; it refuses the modem lines at once.
TEST(SerialPortWithoutDevice, FailsToOpenAndWaitsOutItsOwnTimeOut) {
  SerialPort port;
  EXPECT_FALSE(port.Open(RM_MISSING_PORT, 9600));
  EXPECT_EQ(port.LastError(), RM_MISSING_PORT_ERROR);
  EXPECT_EQ(port.Device(), RM_MISSING_PORT);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.Lost());

  port.SetTimeouts(300, 300);
  std::uint8_t byte = 0;
  auto start = Clock::now();
  EXPECT_EQ(port.Read(&byte, 1), 0u);
  EXPECT_GE(MsSince(start), 300);
  start = Clock::now();
  port.Write(&byte, 1);
  EXPECT_GE(MsSince(start), 300);
  start = Clock::now();
  EXPECT_FALSE(port.PulseModemLine(ModemLine::kDtr, false, 1000));
  EXPECT_LT(MsSince(start), 1000);
}

// Windows hands out these ids; the port list reads the USB fields out of them.
TEST(UsbInstanceId, GivesIdsAndARealSerialNumberOnlyForWholeUsbDevices) {
  struct Case {
    const char* id;
    bool usb;
    const char* usb_id;
    const char* serial;
  } cases[] = {
      {"usb\\VID_0403&PID_6A01\\A50285BI", true, "0403:6a01", "A50285BI"},
      // No serial number on the device: Windows names it by where it is plugged in.
      {"USB\\VID_1A86&PID_7523\\5&2C5B5B6&0&2", true, "1a86:7523", ""},
      {"USB\\VID_2E8A&PID_000A&MI_00\\6&1F3&0&0000", false, "", ""},
      {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", false, "", ""},
      {"USB\\VID_04G3&PID_6001\\X", false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id);
    PortInfo port;
    port.serial = "untouched";
    EXPECT_EQ(ReadUsbInstanceId(c.id, port), c.usb);
    if (!c.usb) {
      EXPECT_EQ(port.serial, "untouched");
      continue;
    }
    EXPECT_EQ(port.usb_id, c.usb_id);
    EXPECT_EQ(port.serial, c.serial);
  }
}

}  // namespace
