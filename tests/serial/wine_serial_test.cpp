// The Win32 backend on a real device: COM1 wired by scripts/test-wine-serial.sh to a
// pseudo-terminal whose other end pty_peer.py plays. The peer answers one command byte:
//   'A' -> "abc"    'B' -> 200 bytes in four pieces    'E' + 16 bytes -> those 16 bytes
// Not run by ctest: without the peer there is nothing to talk to.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "serial/serial_port.h"

namespace {

// A read waits for its whole count until the time-out, and returns what came, in order.
TEST(WineSerial, ReadAssemblesWhatArrivesUntilTheTimeOutAndPurgeDropsWhatArrived) {
  SerialPort port;
  ASSERT_TRUE(port.Open("COM1", 115200)) << port.LastError();
  std::string pieces, echo = "E";
  for (int i = 0; i < 200; ++i) pieces += static_cast<char>(i * 7 + 1);
  for (int i = 0; i < 16; ++i) echo += static_cast<char>(0xF8 + i * 17);
  const struct {
    std::string sent;
    std::uint32_t wanted, timeout_ms;
    std::string expected;
    ULONGLONG at_least_ms;  // the tick count moves in steps of about 15 ms
  } cases[] = {{"A", 8, 300, "abc", 280},
               {"B", 256, 1000, pieces, 0},
               {echo, 16, 1000, echo.substr(1), 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent.substr(0, 1));
    port.SetTimeouts(c.timeout_ms, c.timeout_ms);
    port.Write(reinterpret_cast<const std::uint8_t*>(c.sent.data()), static_cast<std::uint32_t>(c.sent.size()));
    std::string got(c.wanted, '\0');
    const ULONGLONG start = GetTickCount64();
    got.resize(port.Read(reinterpret_cast<std::uint8_t*>(got.data()), c.wanted));
    const ULONGLONG ms = GetTickCount64() - start;
    EXPECT_EQ(got, c.expected);
    EXPECT_GE(ms, c.at_least_ms);
    EXPECT_LT(ms, 2000u);
  }

  // The peer writes "abc" at once: once its first byte is read, the rest has arrived too.
  port.SetTimeouts(1000, 1000);
  std::uint8_t buffer[4] = {'A'};
  port.Write(buffer, 1);
  ASSERT_EQ(port.Read(buffer, 1), 1u);
  port.PurgeReceive();
  port.SetTimeouts(150, 150);
  EXPECT_EQ(port.Read(buffer, 4), 0u);

  // ReadSome hands over what has come, the first byte's fellows too, without waiting out
  // its time-out.
  port.SetTimeouts(5000, 1000);
  buffer[0] = 'A';
  port.Write(buffer, 1);
  std::string got;
  const ULONGLONG start = GetTickCount64();
  while (got.size() < 3 && GetTickCount64() - start < 4000) {
    got.append(reinterpret_cast<const char*>(buffer), port.ReadSome(buffer, 4));
  }
  EXPECT_EQ(got, "abc");
  EXPECT_LT(GetTickCount64() - start, 4000u);
}

}  // namespace
