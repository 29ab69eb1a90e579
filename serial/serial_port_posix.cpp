// The serial device on POSIX: a tty path opened exclusively, raw 8N1, with every wait
// blocking in poll() under the time-out of the request.
#include <fcntl.h>
#include <linux/serial.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>
#include <utility>

#include "serial/port_backend_posix.h"
#include "serial/port_names.h"
#include "serial/termios_rate.h"

PosixSystemCalls::PosixSystemCalls()
    : read(::read),
      write(::write),
      modem_lines([](int fd, unsigned long request, const int* lines) { return ::ioctl(fd, request, lines); }),
      serial_info([](int fd, unsigned long request, void* info) { return ::ioctl(fd, request, info); }),
      line_rate(ReadArbitraryRate) {}

namespace {

using Clock = std::chrono::steady_clock;

class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

speed_t SpeedConstant(std::uint32_t rate) {
  switch (rate) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return 0;
  }
}

// Milliseconds left until deadline, rounded up so poll() never wakes just before it.
int MsUntil(Clock::time_point deadline) {
  auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<long long>(ms, 1 << 30));
}

// A device that hangs up or fails would answer every poll at once; the caller's
// time-out is honoured by sleeping instead of spinning.
void WaitOut(Clock::time_point deadline) { std::this_thread::sleep_until(deadline); }

// A UART works within a few percent of its peer's rate, so a driver that rounds to its
// nearest divisor has taken the rate; one that fell back to another has not.
bool RateTaken(std::uint32_t asked, std::uint32_t taken) {
  const auto difference = static_cast<std::uint64_t>(asked > taken ? asked - taken : taken - asked);
  return difference * 50 <= asked;  // within 2%
}

// Errors after which nothing more will pass: the adapter was unplugged or the line hung up.
bool DeviceGone(int error) {
  return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE;
}

// Waits for events on fd until deadline. True when fd is ready for them.
// False on time-out; on a hang-up it sets *gone and returns at once, on another
// error it waits the time-out out first.
bool WaitFor(int fd, short events, Clock::time_point deadline, bool* gone) {
  for (;;) {
    int ms = MsUntil(deadline);
    if (ms == 0) return false;
    pollfd p{fd, events, 0};
    int r = ::poll(&p, 1, ms);
    if (r < 0) {
      if (errno == EINTR) continue;
      WaitOut(deadline);
      return false;
    }
    if (r == 0) continue;  // the rounded-up wait may end a hair early; re-check the clock
    if (p.revents & events) return true;
    if (p.revents & (POLLHUP | POLLNVAL)) {
      *gone = true;
      return false;
    }
    WaitOut(deadline);
    return false;
  }
}

class PosixBackend final : public PortBackend {
 public:
  explicit PosixBackend(PosixSystemCalls calls) : calls_(std::move(calls)) {}
  ~PosixBackend() override { Close(); }

  int Fd() const { return fd_.load(); }

  bool Open(const std::string& device, std::string* error) override {
    UniqueFd fd(::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
      *error = DescribeOpenError(device, errno);
      return false;
    }
    if (!::isatty(fd.get())) {
      *error = DescribeOpenError(device, ENOTTY);
      return false;
    }
    // flock keeps out every other program of ours, also when run as root, which TIOCEXCL
    // does not stop; TIOCEXCL keeps out other programs that do not take the lock.
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
      *error = DescribeOpenError(device, errno);
      return false;
    }
    int exclusive = 0;
    if (::ioctl(fd.get(), TIOCGEXCL, &exclusive) == 0 && exclusive != 0) {
      *error = DescribeOpenError(device, EBUSY);
      return false;
    }
    ::ioctl(fd.get(), TIOCEXCL);  // best effort: not every tty driver honours it
    have_settings_at_open_ = ::tcgetattr(fd.get(), &settings_at_open_) == 0;
    RequestLowLatency(fd.get());
    output_left_.store(false);
    fd_.store(fd.release());
    return true;
  }

  void Close() override {
    int fd = fd_.exchange(-1);
    if (fd < 0) return;
    // A device that is gone refuses both; nothing is left to give back then.
    if (have_settings_at_open_) ::tcsetattr(fd, TCSANOW, &settings_at_open_);
    RestoreLatency(fd);
    // A pseudo-terminal keeps its exclusive flag past the last close of its slave.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
  }

  bool IsOpen() const override { return fd_.load() >= 0; }

  bool ApplyLineSettings(std::uint32_t rate) override {
    int fd = fd_.load();
    if (fd < 0) return true;
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) return false;
    ::cfmakeraw(&settings);
    settings.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNBRK | BRKINT | PARMRK);
    settings.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS | HUPCL);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    // VMIN 1 makes an empty non-blocking read fail with EAGAIN; with VMIN 0 it would return
    // 0, which could not be told apart from a hang-up.
    settings.c_cc[VMIN] = 1;
    settings.c_cc[VTIME] = 0;
    speed_t speed = SpeedConstant(rate);
    if (speed != 0) {
      ::cfsetispeed(&settings, speed);
      ::cfsetospeed(&settings, speed);
    }
    ::tcsetattr(fd, TCSANOW, &settings);
    if (speed == 0) SetArbitraryRate(fd, rate);
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd, TIOCMBIC, &lines);  // a pseudo-terminal has no modem lines; ignore its refusal
    line_rate_.store(rate);
    // A driver that cannot make the rate says so only in the rate it reads back.
    return RateTaken(rate, calls_.line_rate(fd));
  }

  void ApplyTimeouts(std::uint32_t, std::uint32_t) override {
    // Each request takes its time-out as an argument; nothing is stored in the device.
  }

  std::uint32_t Read(std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout_ms,
                     bool* gone) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    const int fd = fd_.load();
    std::uint32_t got = 0;
    while (got < count) {
      ssize_t n = calls_.read(fd, buffer + got, count - got);
      if (n > 0) {
        got += static_cast<std::uint32_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n == 0 || DeviceGone(errno)) {  // a raw tty reads 0 bytes only after a hang-up
        *gone = true;
        break;
      }
      if (errno != EAGAIN && errno != EWOULDBLOCK) {
        WaitOut(deadline);
        break;
      }
      if (!WaitFor(fd, POLLIN, deadline, gone)) break;
    }
    return got;
  }

  void Write(const std::uint8_t* buffer, std::uint32_t count, std::uint32_t timeout_ms,
             bool* gone) override {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    const int fd = fd_.load();
    if (output_left_.exchange(false)) ::tcflush(fd, TCOFLUSH);
    std::uint32_t sent = 0;
    while (sent < count) {
      ssize_t n = calls_.write(fd, buffer + sent, count - sent);
      if (n > 0) {
        sent += static_cast<std::uint32_t>(n);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && DeviceGone(errno)) {
        *gone = true;
        return;
      }
      if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        WaitOut(deadline);
        output_left_.store(true);
        return;
      }
      if (!WaitFor(fd, POLLOUT, deadline, gone)) {
        output_left_.store(true);
        return;
      }
    }
    Drain(fd, deadline);
    int queued = 0;
    if (::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0) output_left_.store(true);
  }

  void PurgeReceive() override {
    int fd = fd_.load();
    if (fd >= 0) ::tcflush(fd, TCIFLUSH);
  }

  std::uint32_t Queued() override {
    int queued = 0;
    if (::ioctl(fd_.load(), FIONREAD, &queued) != 0 || queued < 0) return 0;
    return static_cast<std::uint32_t>(queued);
  }

  bool SetModemLine(ModemLine line, bool asserted) override {
    const int bits = line == ModemLine::kDtr ? TIOCM_DTR : TIOCM_RTS;
    return calls_.modem_lines(fd_.load(), asserted ? TIOCMBIS : TIOCMBIC, &bits) == 0;
  }

 private:
  // Lets the bytes handed to the driver leave the line before the time-out, so that the
  // next write's flush of unsent output cannot eat them. Sleeps for the time the queued
  // bytes need at the line rate rather than polling the queue in a loop.
  void Drain(int fd, Clock::time_point deadline) {
    for (;;) {
      int queued = 0;
      if (::ioctl(fd, TIOCOUTQ, &queued) != 0 || queued <= 0) return;
      int ms = MsUntil(deadline);
      if (ms == 0) return;
      std::uint32_t rate = std::max<std::uint32_t>(line_rate_.load(), 1);
      auto need_ms = static_cast<long long>(queued) * 10 * 1000 / rate + 1;
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<long long>(need_ms, ms)));
    }
  }

  // A USB adapter otherwise holds each answer up to its latency timer (16 ms), paid twice per
  // page by this stop-and-wait protocol. Drivers without the setting (pseudo-terminals)
  // refuse TIOCGSERIAL; they are left as they are, without a word.
  void RequestLowLatency(int fd) {
    low_latency_set_ = false;
    serial_struct info{};
    if (calls_.serial_info(fd, TIOCGSERIAL, &info) != 0 || (info.flags & ASYNC_LOW_LATENCY) != 0) return;
    info.flags |= ASYNC_LOW_LATENCY;
    low_latency_set_ = calls_.serial_info(fd, TIOCSSERIAL, &info) == 0;
  }

  void RestoreLatency(int fd) {
    if (!std::exchange(low_latency_set_, false)) return;
    serial_struct info{};
    if (calls_.serial_info(fd, TIOCGSERIAL, &info) != 0) return;  // unplugged: nothing to restore
    info.flags &= ~ASYNC_LOW_LATENCY;
    calls_.serial_info(fd, TIOCSSERIAL, &info);
  }

  const PosixSystemCalls calls_;
  std::atomic<int> fd_{-1};
  // For the drain estimate after a write; set by the thread that changes the rate, read by
  // the one that writes.
  std::atomic<std::uint32_t> line_rate_{9600};
  // A write that ran out of time left output behind, which the next write discards. A
  // completed write is never flushed after: on a pseudo-terminal the flush would also drop
  // bytes already delivered that the peer has not read yet (a page byte before its data).
  std::atomic<bool> output_left_{false};
  // The device's settings before we opened it, given back at close: a terminal such as
  // /dev/tty must not stay raw. Open and close only (under the port's lock).
  termios settings_at_open_{};
  bool have_settings_at_open_ = false;
  // We turned the driver's low latency on at open, so close turns it off again.
  bool low_latency_set_ = false;
};

}  // namespace

std::unique_ptr<PortBackend> MakePosixBackend(PosixSystemCalls calls) {
  return std::make_unique<PosixBackend>(std::move(calls));
}

std::unique_ptr<PortBackend> MakePlatformBackend() { return MakePosixBackend(); }

int PosixPortFd(const SerialPort& port) {
  const auto* backend = dynamic_cast<const PosixBackend*>(&port.Backend());
  return backend != nullptr ? backend->Fd() : -1;
}

std::string DescribeOpenError(const std::string& path, int error) {
  std::string text = "cannot open " + path + ": ";
  switch (error) {
    case EACCES:
    case EPERM: {
      text += "Permission denied";
      struct stat info {};
      const group* owner = ::stat(path.c_str(), &info) == 0 ? ::getgrgid(info.st_gid) : nullptr;
      if (owner != nullptr) {
        text += std::string(" (is the user in the ") + owner->gr_name + " group?)";
      }
      return text;
    }
    case EBUSY:
    case EWOULDBLOCK:
      return text + "Device or resource busy (another program is using it)";
    case ENOTTY:
      return text + "not a serial device";
    default:
      return text + std::generic_category().message(error);
  }
}

std::string BackendDeviceForIndex(int index) { return "/dev/ttyS" + std::to_string(index); }
