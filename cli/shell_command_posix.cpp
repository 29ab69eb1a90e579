#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "cli/reset_hook.h"

extern char** environ;

std::string RunShellCommand(const std::string& command) {
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
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  const char* argv[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t child = -1;
  const int error = posix_spawn(&child, "/bin/sh", &actions, &attributes,
                                const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) return std::string("could not be started: ") + std::strerror(error);
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return std::string("could not be waited for: ") + std::strerror(errno);
  }
  if (WIFEXITED(status)) {
    return WEXITSTATUS(status) == 0 ? "" : "exited with status " + std::to_string(WEXITSTATUS(status));
  }
  return "was ended by signal " + std::to_string(WTERMSIG(status));
}
