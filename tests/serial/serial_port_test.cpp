// The POSIX backend on real pseudo-terminal pairs: the port opens the slave by its path,
// the test plays the device on the master.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "serial/port_backend_posix.h"
#include "serial/serial_port.h"
#include "serial/termios_rate.h"
#include "tests/support/pty.h"
#include "tests/support/temp_dir.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

long long MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class PosixPort : public ::testing::Test {
 protected:
  // Opens a port on the pseudo-terminal with the given system calls.
  SerialPort& Open(PosixSystemCalls calls = {}) {
    port_ = std::make_unique<SerialPort>(MakePosixBackend(std::move(calls)));
    EXPECT_TRUE(port_->Open(pty_.path(), 57600)) << port_->LastError();
    return *port_;
  }

  Pty pty_;
  std::unique_ptr<SerialPort> port_;
};

// Reads and writes of whole pages, raw, are what every burn test does; here are the cases a
// burn cannot force.
TEST_F(PosixPort, WritesStopAtTheirTimeOutOrGoOutWholeAndPurgeDropsInput) {
  SerialPort& port = Open();
  port.SetTimeouts(200, 200);
  const Bytes big(1 << 20, 0x55);  // far more than the pseudo-terminal buffers
  auto start = Clock::now();
  port.Write(big.data(), static_cast<std::uint32_t>(big.size()));
  long long ms = MsSince(start);
  EXPECT_GE(ms, 200);
  EXPECT_LT(ms, 3000);
  EXPECT_LT(pty_.Received(100).size(), big.size());

  // The next writes go out: a page byte and its data as two writes before the peer reads
  // either; the second write must not discard the first one's delivered bytes.
  const Bytes bytes = TestBytes(257, 0xF0);
  port.Write(bytes.data(), 1);
  port.Write(bytes.data() + 1, 256);
  EXPECT_EQ(pty_.Received(), bytes);

  pty_.Send({'s', 't', 'a', 'l', 'e'});
  pollfd arrived{PosixPortFd(port), POLLIN, 0};  // waits for the input without reading it
  ASSERT_EQ(::poll(&arrived, 1, 3000), 1);
  port.PurgeReceive();
  pty_.Send({'n', 'e', 'w'});
  std::uint8_t buffer[8];
  EXPECT_EQ(port.Read(buffer, 8), 3u);
  EXPECT_EQ(std::string(buffer, buffer + 3), "new");

  // ReadSome hands over what has come at once instead of waiting out its time-out.
  port.SetTimeouts(10000, 500);
  pty_.Send({'m', 'o', 'r', 'e'});
  ASSERT_EQ(::poll(&arrived, 1, 3000), 1);
  start = Clock::now();
  EXPECT_EQ(port.ReadSome(buffer, 8), 4u);
  EXPECT_LT(MsSince(start), 5000);
  EXPECT_EQ(std::string(buffer, buffer + 4), "more");
}

TEST_F(PosixPort, InterruptedAndShortTransfersAreResumed) {
  int calls = 0;
  PosixSystemCalls flaky;
  flaky.write = [&calls](int fd, const void* data, std::size_t count) -> ssize_t {
    if (++calls % 2 == 1) {
      errno = EINTR;
      return -1;
    }
    return ::write(fd, data, std::min<std::size_t>(count, 3));
  };
  flaky.read = [&calls](int fd, void* data, std::size_t count) -> ssize_t {
    if (++calls % 3 == 0) {
      errno = EINTR;
      return -1;
    }
    return ::read(fd, data, std::min<std::size_t>(count, 2));
  };
  SerialPort& port = Open(flaky);
  port.SetTimeouts(1000, 1000);
  const Bytes bytes = TestBytes(40, 5);
  port.Write(bytes.data(), 40);
  EXPECT_EQ(pty_.Received(), bytes);

  pty_.Send(bytes);
  std::uint8_t buffer[40];
  EXPECT_EQ(port.Read(buffer, 40), 40u);
  EXPECT_EQ(Bytes(buffer, buffer + 40), bytes);
}

TEST_F(PosixPort, ModemLinePulseDrivesTheLineThenRestsIt) {
  struct ModemCall { int fd; unsigned long request; int lines; Clock::time_point at; };
  std::vector<ModemCall> modem_calls;
  PosixSystemCalls recording;
  recording.modem_lines = [&modem_calls](int fd, unsigned long request, const int* lines) {
    modem_calls.push_back({fd, request, *lines, Clock::now()});
    return 0;
  };
  SerialPort& port = Open(recording);
  // An active-low line is driven by clearing it and rests set.
  for (const auto& [line, bit, active_low] :
       {std::tuple{ModemLine::kDtr, TIOCM_DTR, false}, std::tuple{ModemLine::kRts, TIOCM_RTS, true}}) {
    SCOPED_TRACE(testing::Message() << "bit " << bit << " active_low " << active_low);
    modem_calls.clear();
    EXPECT_TRUE(port.PulseModemLine(line, active_low, 60));
    ASSERT_EQ(modem_calls.size(), 2u);
    EXPECT_EQ(modem_calls[0].fd, PosixPortFd(port));
    EXPECT_EQ(modem_calls[0].request, active_low ? TIOCMBIC : TIOCMBIS);
    EXPECT_EQ(modem_calls[1].request, active_low ? TIOCMBIS : TIOCMBIC);
    EXPECT_EQ(modem_calls[0].lines, bit);
    EXPECT_EQ(modem_calls[1].lines, bit);
    EXPECT_GE(modem_calls[1].at - modem_calls[0].at, std::chrono::milliseconds(60));
  }
  // The pseudo-terminal's own refusal ends a pulse at once.
  Open();
  EXPECT_FALSE(port_->PulseModemLine(ModemLine::kDtr, false, 10000));
}

// Open makes the line raw 8N1 at the rate asked for and asks the driver for low latency,
// whatever the device had; close gives back the settings and the flag found at open.
TEST_F(PosixPort, OpenSetsUpTheLineAndCloseGivesBackWhatItFound) {
  const int fd = ::open(pty_.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  termios found{};  // a new pseudo-terminal is cooked; two stop bits make its format differ
  ASSERT_EQ(tcgetattr(fd, &found), 0);
  found.c_cflag |= CSTOPB;
  cfsetospeed(&found, B9600);
  ASSERT_EQ(tcsetattr(fd, TCSANOW, &found), 0);
  ASSERT_EQ(tcgetattr(fd, &found), 0);
  int driver_flags = 0x10;  // a fake adapter driver's flags; a pseudo-terminal has none
  PosixSystemCalls adapter;
  adapter.serial_info = [&driver_flags](int, unsigned long request, void* info) {
    auto* serial = static_cast<serial_struct*>(info);
    if (request == TIOCGSERIAL) serial->flags = driver_flags;
    if (request == TIOCSSERIAL) driver_flags = serial->flags;
    return 0;
  };

  SerialPort& port = Open(adapter);
  EXPECT_EQ(driver_flags, 0x10 | ASYNC_LOW_LATENCY);
  termios raw{};
  ASSERT_EQ(tcgetattr(PosixPortFd(port), &raw), 0);
  // The byte tests show no input or output processing; a pseudo-terminal forces CS8.
  EXPECT_EQ(raw.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CLOCAL | CREAD),
            static_cast<tcflag_t>(CS8 | CLOCAL | CREAD));
  // Rates with and without a Bxxx constant, and an application UART's own.
  for (std::uint32_t rate : {4800u, 14400u, 31250u, 115200u, 250000u}) {
    EXPECT_TRUE(port.SetRate(rate)) << rate;
    EXPECT_EQ(ReadArbitraryRate(PosixPortFd(port)), rate);
    EXPECT_EQ(port.Rate(), rate);
  }
  port.Close();
  port.Close();  // twice is harmless

  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(driver_flags, 0x10);
  termios after{};
  ASSERT_EQ(tcgetattr(fd, &after), 0);
  ::close(fd);
  EXPECT_EQ(std::vector<tcflag_t>({after.c_lflag, after.c_iflag, after.c_oflag, after.c_cflag}),
            std::vector<tcflag_t>({found.c_lflag, found.c_iflag, found.c_oflag, found.c_cflag}));
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B9600));

  // A driver that cannot make a rate keeps another: refused, though a near divisor is taken.
  PosixSystemCalls stuck;
  stuck.line_rate = [](int) { return 9600u; };
  Open(stuck);
  EXPECT_FALSE(port_->SetRate(250000));
  EXPECT_TRUE(port_->SetRate(9700));
}

// Every refused open says why, in the user's terms; the device is free again once the port
// that held it is gone.
TEST_F(PosixPort, RefusedOpensSayWhyAndTheDestructorFreesTheDevice) {
  TempDir dir;
  const std::string file = dir.Write("ttyFAKE", "");
  SerialPort port;
  EXPECT_FALSE(port.Open(file, 9600));
  EXPECT_EQ(port.LastError(), "cannot open " + file + ": not a serial device");
  EXPECT_EQ(DescribeOpenError(file, EACCES),
            "cannot open " + file + ": Permission denied (is the user in the root group?)");

  const std::string busy =
      "cannot open " + pty_.path() + ": Device or resource busy (another program is using it)";
  {
    SerialPort holder;
    ASSERT_TRUE(holder.Open(pty_.path(), 9600)) << holder.LastError();
    EXPECT_FALSE(port.Open(pty_.path(), 9600));
    EXPECT_EQ(port.LastError(), busy);
  }
  EXPECT_TRUE(port.Open(pty_.path(), 9600)) << port.LastError();
  EXPECT_EQ(port.LastError(), "");
  port.Close();

  // Another program holding the port, with flock as ours takes it.
  const int other = ::open(pty_.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(other, 0) << std::strerror(errno);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
  EXPECT_FALSE(port.Open(pty_.path(), 9600));
  EXPECT_EQ(port.LastError(), busy);
  ::close(other);

  // One that takes the line exclusively instead, which root could still open.
  const int exclusive = ::open(pty_.path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_EQ(::ioctl(exclusive, TIOCEXCL), 0) << std::strerror(errno);
  EXPECT_FALSE(port.Open(pty_.path(), 9600));
  EXPECT_EQ(port.LastError(), busy);
  ::close(exclusive);
}

// A hang-up ends a read at once, and every later request too, until the port is opened
// afresh.
TEST_F(PosixPort, HangUpMarksThePortLostUntilTheNextOpen) {
  SerialPort& port = Open();
  port.SetTimeouts(5000, 5000);
  pty_.Send({'o', 'k'});
  std::uint8_t buffer[8] = {};
  ASSERT_EQ(port.Read(buffer, 2), 2u);
  EXPECT_FALSE(port.Lost());
  pty_.HangUp();
  auto start = Clock::now();
  port.Write(buffer, 8);  // a write finds the loss as a read does
  EXPECT_TRUE(port.Lost());
  EXPECT_EQ(port.Read(buffer, 8), 0u);
  EXPECT_EQ(port.ReadSome(buffer, 8), 0u);
  EXPECT_LT(MsSince(start), 4000);

  Pty back;
  ASSERT_TRUE(port.Open(back.path(), 9600)) << port.LastError();
  EXPECT_FALSE(port.Lost());
  back.Send({'!'});
  EXPECT_EQ(port.Read(buffer, 1), 1u);
  EXPECT_EQ(buffer[0], '!');
}

// Two ports of one process, each waiting in its own thread at the same time, keep their own
// time-outs, and the loss of one leaves the other working. (Bytes moving over two ports at
// once are shown by the sessions burned side by side, which also catch state the sessions share.)
TEST(TwoPorts, KeepTheirOwnTimeOutsAndLossAcrossThreads) {
  Pty ptys[2];
  SerialPort ports[2];
  const std::uint32_t timeouts_ms[2] = {100, 1200};
  long long waited_ms[2] = {};
  for (int i = 0; i < 2; ++i) {
    ASSERT_TRUE(ports[i].Open(ptys[i].path(), 115200)) << ports[i].LastError();
    ports[i].SetTimeouts(timeouts_ms[i], timeouts_ms[i]);
  }
  const auto wait_out = [&](int i) {
    std::uint8_t byte = 0;
    const auto start = Clock::now();
    EXPECT_EQ(ports[i].Read(&byte, 1), 0u);
    waited_ms[i] = MsSince(start);
  };
  std::thread first(wait_out, 0);
  std::thread second(wait_out, 1);
  first.join();
  second.join();
  EXPECT_GE(waited_ms[0], timeouts_ms[0]);
  EXPECT_LT(waited_ms[0], timeouts_ms[1]);
  EXPECT_GE(waited_ms[1], timeouts_ms[1]);

  ptys[1].HangUp();
  std::uint8_t byte = 0;
  EXPECT_EQ(ports[1].Read(&byte, 1), 0u);
  EXPECT_TRUE(ports[1].Lost());
  EXPECT_FALSE(ports[0].Lost());
  ptys[0].Send({'a'});
  EXPECT_EQ(ports[0].Read(&byte, 1), 1u);
  EXPECT_EQ(byte, 'a');
}

}  // namespace
