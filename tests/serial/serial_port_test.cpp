// The POSIX backend on real pseudo-terminal pairs: the port opens the slave by its path,
// the test plays the device on the master.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
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

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 7);
  return bytes;
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

TEST_F(SerialPort, ReadEndsWhenTheCountIsCompleteOrAtTheTimeOutWithWhatArrived) {
  SetPortTimeouts(5000, 5000);
  const auto sent = Pattern(200, 3);
  Send(sent);
  std::uint8_t buffer[256];
  auto start = Clock::now();
  ASSERT_EQ(PortRead(buffer, 64), 64u);
  EXPECT_LT(MsSince(start), 4000);  // not held to the 5 s time-out
  SetPortTimeouts(300, 300);
  start = Clock::now();
  ASSERT_EQ(PortRead(buffer + 64, 192), 136u);
  EXPECT_GE(MsSince(start), 300);
  EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 200), sent);
}

// Every index of the rate table is applied as its rate, those without a Bxxx constant too,
// keeping 8N1; any other index takes the fallback.
TEST_F(SerialPort, RateIndexSelectsItsTableRate) {
  struct Case { int index; std::uint32_t rate; };
  for (const Case& c : {Case{-1, 57600}, Case{0, 4800}, Case{1, 9600}, Case{2, 14400}, Case{3, 19200},
                        Case{4, 28800}, Case{5, 38400}, Case{6, 57600}, Case{7, 115200}, Case{8, 57600}}) {
    BaudRateIndex = c.index;
    ASSERT_EQ(ApplyLineSettings(), 1);
    EXPECT_EQ(ReadArbitraryRate(SerialPortFd()), c.rate) << c.index;
    termios settings{};
    ASSERT_EQ(tcgetattr(SerialPortFd(), &settings), 0);
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  }
  SetBaudRate(14400);
  EXPECT_EQ(ShellRecord().port_status, slave_path_ + " : BaudRate = 14400");
}

TEST_F(SerialPort, WriteSendsExactBytesAndPurgeDropsInput) {
  SetPortTimeouts(500, 500);
  auto bytes = Pattern(300, 0xF0);  // includes 0x0A, 0x0D, 0x11, 0x13, 0xFF: none altered
  PortWrite(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  EXPECT_EQ(Received(), bytes);

  // A page byte and its data go out as two writes before the peer reads either; the
  // second write must not discard the first one's delivered bytes.
  const std::vector<std::uint8_t> page_byte = {0x81};
  PortWrite(page_byte.data(), 1);
  PortWrite(bytes.data(), 64);
  std::vector<std::uint8_t> both = page_byte;
  both.insert(both.end(), bytes.begin(), bytes.begin() + 64);
  EXPECT_EQ(Received(), both);

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
  auto big = Pattern(1 << 20, 1);  // far more than the pseudo-terminal buffers
  auto start = Clock::now();
  PortWrite(big.data(), static_cast<std::uint32_t>(big.size()));
  long long ms = MsSince(start);
  EXPECT_GE(ms, 200);
  EXPECT_LT(ms, 3000);
  auto stuck = Received(100);
  EXPECT_LT(stuck.size(), big.size());

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
  auto bytes = Pattern(40, 5);
  PortWrite(bytes.data(), 40);
  EXPECT_EQ(Received(), bytes);

  Send(bytes);
  std::uint8_t buffer[40];
  EXPECT_EQ(PortRead(buffer, 40), 40u);
  EXPECT_EQ(std::vector<std::uint8_t>(buffer, buffer + 40), bytes);
}

TEST_F(SerialPort, HungUpDeviceIsLostAndNoRequestWaitsOnIt) {
  SetPortTimeouts(30000, 30000);
  EXPECT_FALSE(PortLost());
  ::close(master_);
  master_ = -1;
  std::uint8_t buffer[4] = {};
  auto start = Clock::now();
  EXPECT_EQ(PortRead(buffer, 4), 0u);
  PortWrite(buffer, 4);
  EXPECT_LT(MsSince(start), 15000);  // far from the two 30 s time-outs
  EXPECT_TRUE(PortLost());
  ResetShellRecord();
  EXPECT_EQ(EnsurePortOpen(), 0);  // tried afresh, and gone for good
  EXPECT_EQ(ShellRecord().messages.size(), 1u);
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
  for (const auto& [line, bit] : {std::pair{ModemLine::kDtr, TIOCM_DTR}, std::pair{ModemLine::kRts, TIOCM_RTS}}) {
    for (const bool active_low : {false, true}) {
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

  // A pseudo-terminal has no modem lines: refused at once, with no wait.
  SerialSysModemLines = RealModemLines;
  const auto start = Clock::now();
  EXPECT_FALSE(PulseModemLine(ModemLine::kDtr, false, 5000));
  EXPECT_LT(MsSince(start), 2500);
}

// A fake adapter driver's flags; -1 plays one without the setting (a pseudo-terminal).
int driver_flags = -1;
int driver_sets = 0;

TEST_F(SerialPort, OpenAsksForLowLatencyAndCloseGivesItBack) {
  struct Case {
    int flags_before;
    int flags_while_open;
    int sets;  // TIOCSSERIAL calls over open and close
  };
  const Case cases[] = {
      {-1, -1, 0},                                        // refused: skipped without an error
      {0x10, 0x10 | ASYNC_LOW_LATENCY, 2},                // turned on, then off again
      {ASYNC_LOW_LATENCY, ASYNC_LOW_LATENCY, 0},          // already on: left as the user set it
  };
  ClosePort();
  SerialSysSerialInfo = [](int, unsigned long request, void* info) {
    auto* serial = static_cast<serial_struct*>(info);
    if (driver_flags < 0) {
      errno = ENOTTY;
      return -1;
    }
    if (request == TIOCGSERIAL) serial->flags = driver_flags;
    if (request == TIOCSSERIAL) {
      driver_flags = serial->flags;
      ++driver_sets;
    }
    return 0;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flags_before);
    driver_flags = c.flags_before;
    driver_sets = 0;
    ASSERT_EQ(ReopenComPort(), 1) << LastPortError();
    EXPECT_EQ(LastPortError(), "");
    EXPECT_EQ(driver_flags, c.flags_while_open);
    ClosePort();
    EXPECT_EQ(driver_flags, c.flags_before);
    EXPECT_EQ(driver_sets, c.sets);
  }
}

// Open makes the line raw 8N1 at the selected rate whatever the device had; close gives it
// back the settings found at open.
TEST_F(SerialPort, OpensRaw8N1AndCloseGivesBackTheSettingsFoundAtOpen) {
  EXPECT_EQ(ShellRecord().port_status, slave_path_ + " : BaudRate = 57600");
  EXPECT_EQ(PortReady(), 1);
  ClosePort();
  const int fd = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  termios cooked{};
  ASSERT_EQ(tcgetattr(fd, &cooked), 0);
  cooked.c_lflag |= ICANON | ECHO | ISIG | IEXTEN;
  cooked.c_iflag |= IXON | ICRNL;
  cooked.c_oflag |= OPOST;
  cfsetospeed(&cooked, B9600);
  cfsetispeed(&cooked, B9600);
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &cooked), 0);
  ASSERT_EQ(tcgetattr(fd, &cooked), 0);

  ASSERT_EQ(ReopenComPort(), 1) << LastPortError();
  EXPECT_EQ(LastPortError(), "");
  termios raw{};
  ASSERT_EQ(tcgetattr(SerialPortFd(), &raw), 0);
  EXPECT_EQ(raw.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
            static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
  EXPECT_EQ(raw.c_iflag & (IXON | IXOFF | ICRNL | INLCR | ISTRIP), 0u);
  EXPECT_EQ(raw.c_oflag & OPOST, 0u);
  EXPECT_EQ(raw.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(cfgetospeed(&raw), static_cast<speed_t>(B57600));
  ClosePort();

  termios after{};
  ASSERT_EQ(tcgetattr(fd, &after), 0);
  ::close(fd);
  EXPECT_EQ(std::vector<tcflag_t>({after.c_lflag, after.c_iflag, after.c_oflag, after.c_cflag}),
            std::vector<tcflag_t>({cooked.c_lflag, cooked.c_iflag, cooked.c_oflag, cooked.c_cflag}));
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));
}

// The worker's requests and the UI thread's rate changes, purges and reopenings overlap
// (the dialogs stay reachable during a burn); run under ThreadSanitizer this shows races.
TEST_F(SerialPort, UiChangesDuringWorkerRequestsStayUsable) {
  SetPortTimeouts(20, 20);
  std::atomic<bool> stop{false};
  std::atomic<int> requests{0};
  std::thread worker([&] {
    std::uint8_t buffer[4] = {'p', 'i', 'n', 'g'};
    while (!stop.load()) {
      PortWrite(buffer, 4);
      EXPECT_LE(PortRead(buffer, 4), 4u);
      requests.fetch_add(1);
    }
  });
  for (int round = 0; round < 10; ++round) {
    SetBaudRate(BaudRateTable[round % 8]);
    PurgeReceive();
    EXPECT_EQ(ReopenComPort(), 1) << LastPortError();
    Received(5);  // keep the pseudo-terminal from filling up
  }
  stop.store(true);
  worker.join();
  EXPECT_GT(requests.load(), 0);
  std::uint8_t byte = 0;
  Send({0x5A});
  EXPECT_EQ(PortRead(&byte, 1), 1u);
  EXPECT_EQ(byte, 0x5A);
}

// Every refused open says why, in the user's terms. Another program holding the port is
// played by a second open of the device, with flock as ours takes it or TIOCEXCL as others do.
TEST_F(SerialPort, RefusedOpensSayWhy) {
  ClosePort();
  TempDir dir;
  const std::string file = dir.Write("ttyFAKE", "");
  const std::string busy = "cannot open " + slave_path_ + ": Device or resource busy (another program is using it)";
  struct Case { std::string device; unsigned long hold; std::string error; };
  const Case cases[] = {
      {file, 0, "cannot open " + file + ": not a serial device"},  // whatever its name
      {slave_path_, LOCK_EX, busy},
      {slave_path_, TIOCEXCL, busy},
      {slave_path_, 0, ""},  // free again once the other program closed it
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    const int other = ::open(slave_path_.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0) << std::strerror(errno);
    if (c.hold == LOCK_EX) ::flock(other, LOCK_EX);
    if (c.hold == TIOCEXCL) ::ioctl(other, TIOCEXCL);
    SetPortDevice(c.device);
    EXPECT_EQ(ReopenComPort(), c.error.empty() ? 1 : 0);
    EXPECT_EQ(LastPortError(), c.error);
    ClosePort();
    ::ioctl(other, TIOCNXCL);  // the flag outlives the open that set it
    ::close(other);
  }
  EXPECT_EQ(DescribeOpenError(file, EACCES),
            "cannot open " + file + ": Permission denied (is the user in the root group?)");
}

}  // namespace
