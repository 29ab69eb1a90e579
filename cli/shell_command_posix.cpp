#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

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

}  // namespace

std::string RunShellCommand(const std::string& command, double timeout_seconds, bool (*stopped)()) {
  // Its output goes to standard error: standard output carries the burn (JSON with --json).
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
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
    if (stopped()) {
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
