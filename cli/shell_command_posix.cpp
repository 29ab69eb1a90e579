#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "cli/reset_hook.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kPollInterval = std::chrono::milliseconds(5);
// How long the group has to end on SIGTERM before it is killed.
constexpr auto kTermGrace = std::chrono::milliseconds(500);

// Waits for child until deadline; true with *status once it ended.
bool ReapBy(pid_t child, Clock::time_point deadline, int* status) {
  for (;;) {
    const pid_t done = waitpid(child, status, WNOHANG);
    if (done == child || (done < 0 && errno != EINTR)) return true;
    if (Clock::now() >= deadline) return false;
    std::this_thread::sleep_for(kPollInterval);
  }
}

// The shell and whatever it started share its process group: end them all.
void EndGroup(pid_t child) {
  int status = 0;
  ::kill(-child, SIGTERM);
  ReapBy(child, Clock::now() + kTermGrace, &status);
  // Also any member that outlived the shell or ignores SIGTERM.
  ::kill(-child, SIGKILL);
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
}

// The command's output, split into lines for a sink. Reads only what is there: a command
// may leave a background child holding the pipe.
class OutputLines {
 public:
  explicit OutputLines(const CommandOutputSink& sink) : sink_(sink) {
    if (!sink_) return;
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return;
    read_end_ = ends[0];
    write_end_ = ends[1];
    ::fcntl(read_end_, F_SETFL, O_NONBLOCK);
  }
  ~OutputLines() {
    CloseWriteEnd();
    Take();
    if (!pending_.empty()) sink_(pending_);
    if (read_end_ >= 0) ::close(read_end_);
  }
  OutputLines(const OutputLines&) = delete;
  OutputLines& operator=(const OutputLines&) = delete;

  // Where the command writes: the pipe, or our standard error.
  int target() const { return write_end_ >= 0 ? write_end_ : STDERR_FILENO; }
  void CloseWriteEnd() {
    if (write_end_ >= 0) ::close(write_end_);
    write_end_ = -1;
  }
  void Take() {
    if (read_end_ < 0) return;
    char buffer[512];
    for (;;) {
      const ssize_t n = ::read(read_end_, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return;
      pending_.append(buffer, static_cast<std::size_t>(n));
      for (std::size_t end; (end = pending_.find('\n')) != std::string::npos;) {
        sink_(pending_.substr(0, end));
        pending_.erase(0, end + 1);
      }
    }
  }

 private:
  const CommandOutputSink& sink_;
  int read_end_ = -1;
  int write_end_ = -1;
  std::string pending_;
};

}  // namespace

std::string RunShellCommand(const std::string& command, double timeout_seconds, const StopToken& stop,
                            const CommandOutputSink& on_output) {
  // Its output goes to standard error or the sink: standard output carries the burn (JSON
  // with --json).
  OutputLines output(on_output);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output.target(), STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output.target(), STDERR_FILENO);
  // We ignore SIGPIPE for ourselves; the command's pipelines must not inherit that.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  // A group of its own, so that a stop or the time-out ends what the command started too.
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t child = -1;
  const int error = posix_spawn(&child, "/bin/sh", &actions, &attributes,
                                const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  output.CloseWriteEnd();
  if (error != 0) return std::string("could not be started: ") + std::strerror(error);

  const auto deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                           std::chrono::duration<double>(timeout_seconds));
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) {
      const int wait_error = errno;
      EndGroup(child);
      return std::string("could not be waited for: ") + std::strerror(wait_error);
    }
    output.Take();
    if (stop.Requested()) {
      EndGroup(child);
      return "was stopped";
    }
    if (Clock::now() >= deadline) {
      EndGroup(child);
      return TimedOutText(timeout_seconds);
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status) == 0 ? "" : "exited with status " + std::to_string(WEXITSTATUS(status));
  }
  return "was ended by signal " + std::to_string(WTERMSIG(status));
}
