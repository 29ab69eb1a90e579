// The pseudo-terminal the host talks to: opening, the symbolic link, paced reads and writes,
// a USB adapter's latency, and the deliberate hang-up.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <thread>
#include <vector>

#include "sim/sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

int MasterFd = -1;
// Our own descriptor of the slave: while it is open, the host may close and reopen its side
// without the master seeing a hang-up.
int SlaveFd = -1;
std::string SlavePath;
std::string SymlinkPath;

bool Pacing = false;
long HangupAfter = -1;
long SentCount = 0;
bool HungUp = false;

// A USB adapter sends what it received from the chip when a packet is full or its latency
// timer runs out; HeldDue is when the bytes in Held go out at the latest.
constexpr std::size_t kAdapterPacketBytes = 62;
int LatencyMs = 0;
std::vector<std::uint8_t> Held;
Clock::time_point HeldDue{};

void FlushHeldIfDue();

// When the wire is free again in each direction (pacing only).
Clock::time_point TxFreeAt{};
Clock::time_point RxFreeAt{};

struct Arrived {
  std::uint8_t byte;
  Clock::time_point seen;
};
std::deque<Arrived> RxQueue;

// How long a 10-bit character takes at the rate the host set; zero when not pacing. Read
// again for every transfer because the host may change the rate at any time.
Clock::duration ByteTime() {
  if (!Pacing) return Clock::duration::zero();
  std::uint32_t rate = LineRate(SlaveFd);
  if (rate == 0) return Clock::duration::zero();
  return std::chrono::duration_cast<Clock::duration>(std::chrono::nanoseconds(10'000'000'000LL / rate));
}

void SleepUntil(Clock::time_point when) {
  while (!SimStopRequested) {
    FlushHeldIfDue();
    Clock::time_point now = Clock::now();
    if (now >= when) return;
    // Short slices so a signal is seen soon even if it lands just before the sleep.
    Clock::duration slice = std::min<Clock::duration>(when - now, milliseconds(50));
    if (!Held.empty()) slice = std::clamp<Clock::duration>(HeldDue - now, Clock::duration::zero(), slice);
    std::this_thread::sleep_for(slice);
  }
}

// Writes all bytes to the master, waiting while the pty is full. Bytes nobody takes within
// two seconds are dropped, as on a wire with no listener.
void WriteAll(const std::uint8_t* bytes, std::size_t count) {
  std::size_t done = 0;
  Clock::time_point give_up = Clock::now() + milliseconds(2000);
  while (done < count && !SimStopRequested) {
    ssize_t n = write(MasterFd, bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EINTR) break;
    if (Clock::now() >= give_up) break;
    pollfd p{MasterFd, POLLOUT, 0};
    poll(&p, 1, 50);
  }
  if (done < count) LogNote("dropped " + std::to_string(count - done) + " byte(s) nobody read");
}

void FlushHeld() {
  if (Held.empty()) return;
  WriteAll(Held.data(), Held.size());
  Held.clear();
}

void FlushHeldIfDue() {
  if (!Held.empty() && Clock::now() >= HeldDue) FlushHeld();
}

// Bytes as they leave the chip: straight to the host, or through the adapter's packets.
void Deliver(const std::uint8_t* bytes, std::size_t count) {
  if (LatencyMs <= 0) {
    WriteAll(bytes, count);
    return;
  }
  if (Held.empty() && count > 0) HeldDue = Clock::now() + milliseconds(LatencyMs);
  Held.insert(Held.end(), bytes, bytes + count);
  while (Held.size() >= kAdapterPacketBytes) {
    WriteAll(Held.data(), kAdapterPacketBytes);
    Held.erase(Held.begin(), Held.begin() + kAdapterPacketBytes);
    HeldDue = Clock::now() + milliseconds(LatencyMs);
  }
}

// Closing the master hangs the slave up and loses what the host has not read yet, so give
// the host a moment to take it.
void DrainToHost(milliseconds limit) {
  Clock::time_point give_up = Clock::now() + limit;
  // Bytes just written sit in the pty's flip buffer, not yet counted as pending.
  std::this_thread::sleep_for(milliseconds(20));
  while (LinkPendingForHost() > 0 && Clock::now() < give_up && !SimStopRequested) {
    std::this_thread::sleep_for(milliseconds(5));
  }
}

void HangUpNow() {
  FlushHeld();
  DrainToHost(milliseconds(500));
  close(MasterFd);
  MasterFd = -1;
  HungUp = true;
  LogNote("hang-up after " + std::to_string(SentCount) + " byte(s)");
}

// Moves what the master holds into RxQueue, stamped with the time it was seen. False when
// nothing was there.
bool PullFromMaster() {
  std::uint8_t buffer[4096];
  ssize_t n = read(MasterFd, buffer, sizeof buffer);
  if (n <= 0) {
    // EIO while no slave is open: wait for the host instead of spinning.
    if (n == 0 || (errno != EAGAIN && errno != EINTR)) std::this_thread::sleep_for(milliseconds(10));
    return false;
  }
  Clock::time_point seen = Clock::now();
  for (ssize_t i = 0; i < n; ++i) RxQueue.push_back({buffer[i], seen});
  return true;
}

}  // namespace

bool LinkOpen(std::string* slave_path, std::string* error) {
  MasterFd = posix_openpt(O_RDWR | O_NOCTTY);
  if (MasterFd < 0 || grantpt(MasterFd) != 0 || unlockpt(MasterFd) != 0) {
    *error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  char name[256];
  if (ptsname_r(MasterFd, name, sizeof name) != 0) {
    *error = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
    return false;
  }
  SlavePath = name;
  SlaveFd = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (SlaveFd < 0) {
    *error = "cannot open " + SlavePath + ": " + std::strerror(errno);
    return false;
  }
  // Raw before the host opens it, so no echo or line editing touches a byte even if the
  // host never sets its own attributes.
  termios raw{};
  if (tcgetattr(SlaveFd, &raw) == 0) {
    cfmakeraw(&raw);
    tcsetattr(SlaveFd, TCSANOW, &raw);
  }
  fcntl(MasterFd, F_SETFL, fcntl(MasterFd, F_GETFL) | O_NONBLOCK);
  *slave_path = SlavePath;
  return true;
}

bool LinkMakeSymlink(const std::string& path, const std::string& slave_path,
                     std::string* error) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0) {
    if (!S_ISLNK(info.st_mode)) {
      *error = "--link " + path + " exists and is not a symbolic link";
      return false;
    }
    unlink(path.c_str());
  }
  if (symlink(slave_path.c_str(), path.c_str()) != 0) {
    *error = "cannot make --link " + path + ": " + std::strerror(errno);
    return false;
  }
  SymlinkPath = path;
  return true;
}

void LinkRemoveSymlink() {
  if (SymlinkPath.empty()) return;
  char target[512];
  ssize_t n = readlink(SymlinkPath.c_str(), target, sizeof target - 1);
  // Another simulator may have taken the name over since; leave its link alone.
  if (n > 0 && std::string(target, static_cast<std::size_t>(n)) == SlavePath) {
    unlink(SymlinkPath.c_str());
  }
  SymlinkPath.clear();
}

void LinkClose() {
  if (MasterFd >= 0) {
    FlushHeld();
    DrainToHost(milliseconds(1000));
    close(MasterFd);
  }
  if (SlaveFd >= 0) close(SlaveFd);
  MasterFd = SlaveFd = -1;
}

void LinkSetPacing(bool on) { Pacing = on; }

void LinkSetLatency(int ms) { LatencyMs = ms; }

void LinkSetHangupAfter(long n) { HangupAfter = n; }

void LinkResetCount() { SentCount = 0; }

bool LinkHungUp() { return HungUp; }

int LinkRead(int timeout_ms) {
  Clock::time_point deadline = Clock::now() + milliseconds(timeout_ms);
  bool pacing = ByteTime() > Clock::duration::zero();
  // While pacing, take in whatever is there at every byte, so a byte's time stamp is not
  // held back by the delivery of the bytes before it.
  if (pacing && !HungUp && MasterFd >= 0) PullFromMaster();
  while (RxQueue.empty()) {
    if (SimStopRequested || HungUp) return kLinkStopped;
    FlushHeldIfDue();
    Clock::time_point now = Clock::now();
    if (now >= deadline) return kLinkNone;
    Clock::time_point wake = Held.empty() ? deadline : std::min(deadline, HeldDue);
    auto left = std::chrono::duration_cast<milliseconds>(wake - now).count() + 1;
    pollfd p{MasterFd, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(std::min<long long>(left, 100))) > 0) PullFromMaster();
  }
  Arrived next = RxQueue.front();
  RxQueue.pop_front();
  Clock::duration byte_time = ByteTime();
  if (byte_time > Clock::duration::zero()) {
    // A byte is only complete one character time after the one before it; bytes the host
    // wrote in one go are thus taken in at wire speed. A byte seen a little after the wire
    // fell free is taken as sent back to back (our own wake-up was late, not the host).
    Clock::time_point start = next.seen <= RxFreeAt + byte_time ? RxFreeAt : next.seen;
    Clock::time_point ready = start + byte_time;
    RxFreeAt = ready;
    SleepUntil(ready);
  }
  return next.byte;
}

bool LinkWrite(const std::uint8_t* bytes, std::size_t count) {
  if (HungUp || MasterFd < 0) return false;
  std::size_t allowed = count;
  bool hang_up = false;
  if (HangupAfter >= 0 && SentCount + static_cast<long>(count) >= HangupAfter) {
    allowed = static_cast<std::size_t>(HangupAfter - SentCount);
    hang_up = true;
  }
  Clock::duration byte_time = ByteTime();
  if (byte_time == Clock::duration::zero()) {
    Deliver(bytes, allowed);
  } else {
    // Byte k leaves when its last bit would have: start + (k + 1) character times. Bytes
    // already due go out together, so a late wake-up does not slow the average rate.
    Clock::time_point start = std::max(Clock::now(), TxFreeAt);
    std::size_t sent = 0;
    while (sent < allowed && !SimStopRequested) {
      auto elapsed = Clock::now() - start;
      std::size_t due = std::min<std::size_t>(allowed, static_cast<std::size_t>(elapsed / byte_time));
      if (due > sent) {
        Deliver(bytes + sent, due - sent);
        sent = due;
        continue;
      }
      SleepUntil(start + byte_time * static_cast<long>(sent + 1));
    }
    TxFreeAt = start + byte_time * static_cast<long>(allowed);
  }
  SentCount += static_cast<long>(allowed);
  if (hang_up) {
    HangUpNow();
    return false;
  }
  return !SimStopRequested;
}

std::size_t LinkPendingForHost() {
  int pending = 0;
  if (SlaveFd < 0 || ioctl(SlaveFd, FIONREAD, &pending) != 0 || pending < 0) return 0;
  return static_cast<std::size_t>(pending);
}

void LinkSleep(int ms) { SleepUntil(Clock::now() + milliseconds(ms)); }

void LinkWait(int other_fd, int timeout_ms) {
  FlushHeldIfDue();
  if (!RxQueue.empty()) return;
  int timeout = timeout_ms;
  if (!Held.empty()) {
    auto due = std::chrono::ceil<milliseconds>(HeldDue - Clock::now()).count();
    timeout = static_cast<int>(std::clamp<long long>(due, 0, timeout_ms));
  }
  pollfd p[2] = {{MasterFd, POLLIN, 0}, {other_fd, POLLIN, 0}};
  if (poll(p, 2, timeout) > 0 && (p[0].revents & POLLIN) != 0) PullFromMaster();
}

bool LinkPaced() { return ByteTime() > Clock::duration::zero(); }
