// The program the chip was given, run by s51 once the bootloader is left. s51 talks through
// two FIFOs rather than a pseudo-terminal of its own: it flushes a terminal's input when it
// opens it, so bytes the host sent before then would be lost, while a FIFO keeps them.
// s51 times its UART in simulated time, so bytes go to it as they come: a program that
// cannot keep up with back-to-back bytes loses some, as it would on a board.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sim/sim.h"

namespace {

// Only bank 0 is the code memory: how the RM5168 maps its bank 1 is not known.
constexpr std::size_t kCodeBytes = 0x10000;
constexpr std::size_t kHexRecordBytes = 32;

bool WriteHex(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  for (std::size_t at = 0; at < kCodeBytes; at += kHexRecordBytes) {
    unsigned sum = kHexRecordBytes + (at >> 8) + (at & 0xFF);
    std::fprintf(file, ":%02zX%04zX00", kHexRecordBytes, at);
    for (std::size_t i = 0; i < kHexRecordBytes; ++i) {
      std::fprintf(file, "%02X", Flash[at + i]);
      sum += Flash[at + i];
    }
    std::fprintf(file, "%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
  }
  std::fputs(":00000001FF\n", file);
  return std::fclose(file) == 0;
}

// The image and the FIFOs live in a directory of their own, removed when s51 has ended.
struct Workspace {
  std::string dir, hex, in, out;
  int in_fd = -1;   // host to the 8051
  int out_fd = -1;  // 8051 to the host
  // s51's standard input: it quits when its command console reads an end of file.
  int console_fds[2] = {-1, -1};

  bool Make(std::string* error) {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/rm516x-sim-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
      *error = "cannot make a directory for s51: " + std::string(std::strerror(errno));
      return false;
    }
    dir = name.data();
    hex = dir + "/bank0.hex";
    in = dir + "/uart-in";
    out = dir + "/uart-out";
    if (!WriteHex(hex) || mkfifo(in.c_str(), 0600) != 0 || mkfifo(out.c_str(), 0600) != 0) {
      *error = "cannot write the image for s51 in " + dir + ": " + std::strerror(errno);
      return false;
    }
    // Opened both ways, so neither end ever sees an end of file or blocks on the other.
    in_fd = open(in.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    out_fd = open(out.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (in_fd < 0 || out_fd < 0 || pipe2(console_fds, O_CLOEXEC) != 0) {
      *error = "cannot open the FIFOs for s51: " + std::string(std::strerror(errno));
      return false;
    }
    return true;
  }

  ~Workspace() {
    if (in_fd >= 0) close(in_fd);
    if (out_fd >= 0) close(out_fd);
    for (int fd : console_fds) {
      if (fd >= 0) close(fd);
    }
    for (const std::string* path : {&hex, &in, &out}) {
      if (!path->empty()) unlink(path->c_str());
    }
    if (!dir.empty()) rmdir(dir.c_str());
  }
};

pid_t StartS51(const std::string& s51_path, const Workspace& work) {
  const std::string xtal = std::to_string(SimXtalHz);
  const std::string serial = "in=" + work.in + ",out=" + work.out;
  // Without it s51 looks at its serial input only now and then: a quarter of a second a byte.
  std::vector<std::string> args = {"s51", "-X", xtal, "-e", "expr uart0_check_often=1",
                                   "-S", serial, "-g", work.hex};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // The child: it must not outlive the simulator, however the simulator ends.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);
  dup2(work.console_fds[0], 0);
  int null_fd = open("/dev/null", O_WRONLY);
  if (null_fd >= 0) {
    dup2(null_fd, 1);
    dup2(null_fd, 2);
  }
  execv(s51_path.c_str(), argv.data());
  _exit(127);
}

std::string Status(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

// Host bytes to the 8051. False on a stop request or hang-up.
bool RelayFromHost(int in_fd, bool running) {
  std::uint8_t bytes[256];
  std::size_t count = 0;
  for (;;) {
    int byte = count < sizeof bytes ? LinkRead(0) : kLinkNone;
    if (byte == kLinkStopped) return false;
    if (byte >= 0) {
      bytes[count++] = static_cast<std::uint8_t>(byte);
      // Paced bytes go on one by one, at the time each is complete on the wire.
      if (!LinkPaced()) continue;
    }
    if (count == 0) return true;
    // With no program left to read them, bytes fall off the wire.
    if (running && write(in_fd, bytes, count) != static_cast<ssize_t>(count)) {
      LogNote("the application dropped " + std::to_string(count) + " byte(s)");
    }
    if (byte < 0) return true;
    count = 0;
  }
}

}  // namespace

std::string FindS51() {
  const char* path = std::getenv("PATH");
  std::string dirs = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  for (;;) {
    std::size_t end = dirs.find(':', start);
    std::string dir = dirs.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/s51";
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    if (end == std::string::npos) return "";
    start = end + 1;
  }
}

bool RunApplication(const std::string& s51_path) {
  LinkSetHangupAfter(-1);
  Workspace work;
  std::string error;
  pid_t pid = -1;
  if (work.Make(&error)) {
    pid = StartS51(s51_path, work);
    if (pid < 0) error = "cannot start s51: " + std::string(std::strerror(errno));
  }
  if (pid < 0) {
    std::fprintf(stderr, "rm516x-sim: %s\n", error.c_str());
    LogNote(error);
  } else {
    LogNote("the chip runs bank 0 in s51 (pid " + std::to_string(pid) + ")");
  }
  bool running = pid > 0;
  bool go_on = true;
  while (go_on && !SimResetRequested && !SimStopRequested) {
    int status = 0;
    if (running && waitpid(pid, &status, WNOHANG) == pid) {
      running = false;
      std::fprintf(stderr, "rm516x-sim: s51 ended (%s)\n", Status(status).c_str());
      LogNote("s51 ended (" + Status(status) + "): the chip is silent until SIGUSR1");
    }
    LinkWait(work.out_fd, 100);
    go_on = RelayFromHost(work.in_fd, running);
    std::uint8_t bytes[512];
    ssize_t n = read(work.out_fd, bytes, sizeof bytes);
    if (go_on && n > 0) go_on = LinkWrite(bytes, static_cast<std::size_t>(n));
  }
  if (SimStopRequested) go_on = false;
  if (running) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  if (go_on) LogNote("reset: the chip enters its bootloader");
  return go_on;
}
