// The Win32 backend on a real device: COM1 wired by scripts/test-wine-serial.sh to a
// pseudo-terminal whose other end pty_peer.py plays. The peer answers one command byte:
//   'A' -> "abc"    'B' -> 200 bytes in four pieces    'E' + 16 bytes -> those 16 bytes
// Not run by ctest: without the peer there is nothing to talk to.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "serial/serial_win32_seam.h"
#include "settings/settings.h"

namespace {

void Send(const std::string& bytes) {
  PortWrite(reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()));
}

class WineSerial : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ComPortIndex = 0;
    BaudRateIndex = 7;
    opened_ = OpenComPort();
  }
  void SetUp() override { ASSERT_EQ(opened_, 1) << LastPortError(); }
  static int opened_;
};
int WineSerial::opened_ = 0;

// A read waits for its whole count until the time-out, and returns what came, in order.
TEST_F(WineSerial, ReadAssemblesWhatArrivesUntilTheTimeOut) {
  std::string pieces, echo = "E";
  for (int i = 0; i < 200; ++i) pieces += static_cast<char>(i * 7 + 1);
  for (int i = 0; i < 16; ++i) echo += static_cast<char>(0xF8 + i * 17);
  const struct {
    std::string sent;
    std::uint32_t wanted, timeout_ms;
    std::string expected;
    ULONGLONG at_least_ms;  // the tick count moves in steps of about 15 ms
  } cases[] = {{"", 1, 100, "", 90},
               {"A", 8, 300, "abc", 280},
               {"B", 256, 1000, pieces, 0},
               {echo, 16, 1000, echo.substr(1), 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent.substr(0, 1));
    SetPortTimeouts(c.timeout_ms, c.timeout_ms);
    Send(c.sent);
    std::string got(c.wanted, '\0');
    const ULONGLONG start = GetTickCount64();
    got.resize(PortRead(reinterpret_cast<std::uint8_t*>(got.data()), c.wanted));
    const ULONGLONG ms = GetTickCount64() - start;
    EXPECT_EQ(got, c.expected);
    EXPECT_GE(ms, c.at_least_ms);
    EXPECT_LT(ms, 2000u);
  }
}

// The peer writes "abc" at once: once its first byte is read, the rest has arrived too.
TEST_F(WineSerial, PurgeDropsWhatArrived) {
  SetPortTimeouts(1000, 1000);
  Send("A");
  std::uint8_t buffer[4];
  ASSERT_EQ(PortRead(buffer, 1), 1u);
  PurgeReceive();
  SetPortTimeouts(150, 150);
  EXPECT_EQ(PortRead(buffer, 4), 0u);
}

// The EscapeCommFunction calls a pulse makes, with when each was made.
struct EscapeCall {
  DWORD function;
  ULONGLONG at_ms;
};
std::vector<EscapeCall> escape_calls;

TEST_F(WineSerial, ModemLinePulseDrivesTheLineThenRestsIt) {
  const struct {
    ModemLine line;
    bool active_low;
    DWORD drive, rest;
  } cases[] = {{ModemLine::kDtr, false, SETDTR, CLRDTR}, {ModemLine::kRts, false, SETRTS, CLRRTS},
               {ModemLine::kDtr, true, CLRDTR, SETDTR}, {ModemLine::kRts, true, CLRRTS, SETRTS}};
  const SerialEscapeCall real = SerialSysEscape;
  SerialSysEscape = [](HANDLE, DWORD function) -> BOOL {
    escape_calls.push_back({function, GetTickCount64()});
    return TRUE;
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "drive " << c.drive);
    escape_calls.clear();
    EXPECT_TRUE(PulseModemLine(c.line, c.active_low, 60));
    ASSERT_EQ(escape_calls.size(), 2u);
    EXPECT_EQ(escape_calls[0].function, c.drive);
    EXPECT_EQ(escape_calls[1].function, c.rest);
    // The tick count's own granularity (up to 16 ms) may shorten what it shows.
    EXPECT_GE(escape_calls[1].at_ms - escape_calls[0].at_ms, 60u - 16u);
  }
  SerialSysEscape = [](HANDLE, DWORD) -> BOOL { return FALSE; };
  EXPECT_FALSE(PulseModemLine(ModemLine::kRts, false, 60));
  SerialSysEscape = real;
}

}  // namespace
