// The Win32 backend on a real device: COM1 wired by scripts/test-wine-serial.sh to a
// pseudo-terminal whose other end pty_peer.py plays. The peer answers one command byte:
//   'A' -> "abc"    'B' -> 200 bytes in four pieces    'E' + 16 bytes -> those 16 bytes
// Not run by ctest: without the peer there is nothing to talk to.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "serial/serial_win32_seam.h"
#include "settings/settings.h"
#include "tests/support/recording_shell.h"

namespace {

ULONGLONG Timed(const auto& action) {
  ULONGLONG start = GetTickCount64();
  action();
  return GetTickCount64() - start;
}

void Command(char command) {
  std::uint8_t byte = static_cast<std::uint8_t>(command);
  PortWrite(&byte, 1);
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

TEST_F(WineSerial, OpensCom1) {
  EXPECT_EQ(PortReady(), 1);
  EXPECT_EQ(ShellRecord().port_status, "COM1 : BaudRate = 115200");
}

TEST_F(WineSerial, SilentReadEndsAtTheTimeOut) {
  SetPortTimeouts(100, 100);
  for (int round = 0; round < 3; ++round) {
    std::uint8_t byte = 0;
    std::uint32_t got = 1;
    ULONGLONG ms = Timed([&] { got = PortRead(&byte, 1); });
    std::printf("silent 1-byte read, 100 ms time-out: %u byte(s) after %llu ms\n", got, ms);
    EXPECT_EQ(got, 0u);
    EXPECT_GE(ms, 90u);  // the tick count moves in steps of about 15 ms
    EXPECT_LT(ms, 2000u);
  }
}

TEST_F(WineSerial, ShortReadReturnsWhatArrived) {
  SetPortTimeouts(300, 300);
  Command('A');
  std::uint8_t buffer[8] = {};
  std::uint32_t got = 0;
  ULONGLONG ms = Timed([&] { got = PortRead(buffer, 8); });
  std::printf("8-byte read, 3 arriving, 300 ms time-out: %u byte(s) after %llu ms\n", got, ms);
  ASSERT_EQ(got, 3u);
  EXPECT_EQ(std::string(buffer, buffer + 3), "abc");
  EXPECT_GE(ms, 280u);
}

TEST_F(WineSerial, PiecesAreAssembledUntilTheTimeOut) {
  SetPortTimeouts(1000, 1000);
  Command('B');
  std::uint8_t buffer[256] = {};
  std::uint32_t got = 0;
  ULONGLONG ms = Timed([&] { got = PortRead(buffer, 256); });
  std::printf("256-byte read, 200 arriving in 4 pieces, 1000 ms time-out: %u byte(s) after %llu ms\n",
              got, ms);
  ASSERT_EQ(got, 200u);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(buffer[i], static_cast<std::uint8_t>(i * 7 + 1)) << i;
}

TEST_F(WineSerial, WriteSendsExactBytes) {
  SetPortTimeouts(1000, 1000);
  std::vector<std::uint8_t> bytes = {'E'};
  for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<std::uint8_t>(0xF8 + i * 17));
  PortWrite(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  std::uint8_t echo[16] = {};
  std::uint32_t got = 0;
  ULONGLONG ms = Timed([&] { got = PortRead(echo, 16); });
  std::printf("16-byte echo: %u byte(s) after %llu ms\n", got, ms);
  ASSERT_EQ(got, 16u);
  EXPECT_EQ(std::vector<std::uint8_t>(echo, echo + 16),
            std::vector<std::uint8_t>(bytes.begin() + 1, bytes.end()));
}

TEST_F(WineSerial, PurgeDropsWhatArrived) {
  SetPortTimeouts(150, 150);
  Command('A');
  Sleep(300);
  PurgeReceive();
  std::uint8_t buffer[4];
  EXPECT_EQ(PortRead(buffer, 4), 0u);
}

// The EscapeCommFunction calls a pulse makes, with when each was made.
struct EscapeCall {
  DWORD function;
  ULONGLONG at_ms;
};
std::vector<EscapeCall> escape_calls;

TEST_F(WineSerial, ModemLinePulseDrivesTheLineThenRestsIt) {
  struct Case {
    ModemLine line;
    bool active_low;
    DWORD drive, rest;
  };
  const Case cases[] = {
      {ModemLine::kDtr, false, SETDTR, CLRDTR},
      {ModemLine::kRts, false, SETRTS, CLRRTS},
      {ModemLine::kDtr, true, CLRDTR, SETDTR},
      {ModemLine::kRts, true, CLRRTS, SETRTS},
  };
  const SerialEscapeCall real = SerialSysEscape;
  SerialSysEscape = [](HANDLE, DWORD function) -> BOOL {
    escape_calls.push_back({function, GetTickCount64()});
    return TRUE;
  };
  for (const Case& c : cases) {
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
