// The POSIX backend on real pseudo-terminal pairs: the port opens the slave by its path,
// the test plays the device on the master.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

#include "serial/serial_port.h"
#include "serial/serial_posix_seam.h"
#include "serial/termios_rate.h"
#include "settings/settings.h"
#include "tests/support/recording_shell.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

const SerialModemCall RealModemLines = SerialSysModemLines;
const SerialInfoCall RealSerialInfo = SerialSysSerialInfo;

class SerialPort : public ::testing::Test {
 protected:
  void SetUp() override {
    int slave = -1;
    char name[64] = {};
    ASSERT_EQ(openpty(&master_, &slave, name, nullptr, nullptr), 0) << std::strerror(errno);
    slave_path_ = name;
    // Only the master stays with the test; the port opens the slave by its path.
    ::close(slave);
    ResetShellRecord();
    ComPortIndex = 0;
    BaudRateIndex = 6;
    SetPortDevice(slave_path_);
    ASSERT_EQ(OpenComPort(), 1) << LastPortError();
  }

  void TearDown() override {
    ClosePort();
    SetPortDevice("");
    SerialSysRead = ::read;
    SerialSysWrite = ::write;
    SerialSysModemLines = RealModemLines;
    SerialSysSerialInfo = RealSerialInfo;
    if (master_ >= 0) ::close(master_);
  }

  void Send(const std::vector<std::uint8_t>& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  // Everything the port sends within wait_ms of silence.
  std::vector<std::uint8_t> Received(int wait_ms = 200) {
    std::vector<std::uint8_t> bytes;
    std::uint8_t chunk[4096];
    pollfd p{master_, POLLIN, 0};
    while (::poll(&p, 1, wait_ms) > 0 && (p.revents & POLLIN)) {
      ssize_t n = ::read(master_, chunk, sizeof chunk);
      if (n <= 0) break;
      bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
  }

  int master_ = -1;
  std::string slave_path_;
};

// Boundary rows of the rate table, one without a Bxxx constant; any other index takes the
// fallback.
TEST_F(SerialPort, RateIndexSelectsItsTableRate) {
  struct Case { int index; std::uint32_t rate; };
  for (const Case& c : {Case{-1, 57600}, Case{0, 4800}, Case{2, 14400}, Case{7, 115200}, Case{8, 57600}}) {
    BaudRateIndex = c.index;
    ASSERT_EQ(ApplyLineSettings(), 1);
    EXPECT_EQ(ReadArbitraryRate(SerialPortFd()), c.rate) << c.index;
  }
}

// Reads and writes of whole pages, raw, are what every burn test does; here are the cases a
// burn cannot force.
TEST_F(SerialPort, WriteSendsExactBytesAndPurgeDropsInput) {
  SetPortTimeouts(500, 500);
  std::vector<std::uint8_t> bytes(257);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{0xF0});
  // A page byte and its data go out as two writes before the peer reads either; the
  // second write must not discard the first one's delivered bytes.
  PortWrite(bytes.data(), 1);
  PortWrite(bytes.data() + 1, 256);
  EXPECT_EQ(Received(), bytes);

  Send({'s', 't', 'a', 'l', 'e'});
  pollfd arrived{SerialPortFd(), POLLIN, 0};
  ASSERT_EQ(::poll(&arrived, 1, 3000), 1);
  PurgeReceive();
  Send({'n', 'e', 'w'});
  std::uint8_t buffer[8];
  EXPECT_EQ(PortRead(buffer, 8), 3u);
  EXPECT_EQ(std::string(buffer, buffer + 3), "new");
}

TEST_F(SerialPort, WriteCutShortByItsTimeOutReturnsAndTheNextWriteGoesOut) {
  SetPortTimeouts(200, 200);
  const std::vector<std::uint8_t> big(1 << 20, 0x55);  // far more than the pseudo-terminal buffers
  auto start = Clock::now();
  PortWrite(big.data(), static_cast<std::uint32_t>(big.size()));
  long long ms = MsSince(start);
  EXPECT_GE(ms, 200);
  EXPECT_LT(ms, 3000);
  EXPECT_LT(Received(100).size(), big.size());

  const std::vector<std::uint8_t> next = {'X', 'Y', 'Z'};
  PortWrite(next.data(), 3);
  EXPECT_EQ(Received(), next);
}

TEST_F(SerialPort, InterruptedAndShortTransfersAreResumed) {
  static int calls = 0;
  calls = 0;
  SerialSysWrite = [](int fd, const void* data, std::size_t count) -> ssize_t {
    if (++calls % 2 == 1) {
      errno = EINTR;
      return -1;
    }
    return ::write(fd, data, std::min<std::size_t>(count, 3));
  };
  SerialSysRead = [](int fd, void* data, std::size_t count) -> ssize_t {
    if (++calls % 3 == 0) {
      errno = EINTR;
      return -1;
    }
    return ::read(fd, data, std::min<std::size_t>(count, 2));
  };
  SetPortTimeouts(1000, 1000);
  std::vector<std::uint8_t> bytes(40);
  std::iota(bytes.begin(), bytes.end(), std::uint8_t{5});
  PortWrite(bytes.data(), 40);
  EXPECT_EQ(Received(), bytes);

  Send(bytes);
  std::uint8_t buffer[40];
  EXPECT_EQ(PortRead(buffer, 40), 40u);
  EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 40), bytes);
}

// The ioctls a pulse makes, with when each was made.
struct ModemCall {
  unsigned long request;
  int lines;
  Clock::time_point at;
};
std::vector<ModemCall> modem_calls;

TEST_F(SerialPort, ModemLinePulseDrivesTheLineThenRestsIt) {
  SerialSysModemLines = [](int fd, unsigned long request, const int* lines) {
    EXPECT_EQ(fd, SerialPortFd());
    modem_calls.push_back({request, *lines, Clock::now()});
    return 0;
  };
  // An active-low line is driven by clearing it and rests set.
  for (const auto& [line, bit, active_low] :
       {std::tuple{ModemLine::kDtr, TIOCM_DTR, false}, std::tuple{ModemLine::kRts, TIOCM_RTS, true}}) {
    SCOPED_TRACE(testing::Message() << "bit " << bit << " active_low " << active_low);
    modem_calls.clear();
    EXPECT_TRUE(PulseModemLine(line, active_low, 60));
    ASSERT_EQ(modem_calls.size(), 2u);
    EXPECT_EQ(modem_calls[0].request, active_low ? TIOCMBIC : TIOCMBIS);
    EXPECT_EQ(modem_calls[1].request, active_low ? TIOCMBIS : TIOCMBIC);
    EXPECT_EQ(modem_calls[0].lines, bit);
    EXPECT_EQ(modem_calls[1].lines, bit);
    EXPECT_GE(modem_calls[1].at - modem_calls[0].at, std::chrono::milliseconds(60));
  }
}

// A fake adapter driver's flags; the pseudo-terminal every other test opens has none.
int driver_flags = 0;

// Open makes the line raw 8N1 at the selected rate and asks the driver for low latency,
// whatever the device had; close gives back the settings and the flag found at open.
TEST_F(SerialPort, OpenSetsUpTheLineAndCloseGivesBackWhatItFound) {
  ClosePort();
  const int fd = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  termios found{};  // a new pseudo-terminal is cooked; two stop bits make its format differ
  ASSERT_EQ(tcgetattr(fd, &found), 0);
  found.c_cflag |= CSTOPB;
  cfsetospeed(&found, B9600);
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &found), 0);
  ASSERT_EQ(tcgetattr(fd, &found), 0);
  SerialSysSerialInfo = [](int, unsigned long request, void* info) {
    auto* serial = static_cast<serial_struct*>(info);
    if (request == TIOCGSERIAL) serial->flags = driver_flags;
    if (request == TIOCSSERIAL) driver_flags = serial->flags;
    return 0;
  };
  driver_flags = 0x10;

  ASSERT_EQ(ReopenComPort(), 1) << LastPortError();
  EXPECT_EQ(driver_flags, 0x10 | ASYNC_LOW_LATENCY);
  termios raw{};
  ASSERT_EQ(tcgetattr(SerialPortFd(), &raw), 0);
  // The byte tests show no input or output processing; a pseudo-terminal forces CS8.
  EXPECT_EQ(raw.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
            static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
  ClosePort();

  EXPECT_EQ(driver_flags, 0x10);
  termios after{};
  ASSERT_EQ(tcgetattr(fd, &after), 0);
  ::close(fd);
  EXPECT_EQ(std::vector<tcflag_t>({after.c_lflag, after.c_iflag, after.c_oflag, after.c_cflag}),
            std::vector<tcflag_t>({found.c_lflag, found.c_iflag, found.c_oflag, found.c_cflag}));
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
}

// Every refused open says why, in the user's terms.
TEST_F(SerialPort, RefusedOpensSayWhy) {
  ClosePort();
  TempDir dir;
  const std::string file = dir.Write("ttyFAKE", "");
  SetPortDevice(file);  // whatever its name
  EXPECT_EQ(ReopenComPort(), 0);
  EXPECT_EQ(LastPortError(), "cannot open " + file + ": not a serial device");
  EXPECT_EQ(DescribeOpenError(file, EACCES),
            "cannot open " + file + ": Permission denied (is the user in the root group?)");

  // Another program holding the port, with flock as ours takes it.
  const int other = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0) << std::strerror(errno);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  SetPortDevice(slave_path_);
  EXPECT_EQ(ReopenComPort(), 0);
  EXPECT_EQ(LastPortError(),
            "cannot open " + slave_path_ + ": Device or resource busy (another program is using it)");
  ::close(other);
}

}  // namespace
