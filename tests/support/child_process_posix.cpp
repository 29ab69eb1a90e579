#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

extern char** environ;

ChildProcess::ChildProcess(const std::vector<std::string>& argv, bool unread_out,
                           const std::vector<std::string>& env, const std::string& stdin_path) {
  // env(1) sets the entries and then becomes the program, under the same process id.
  std::vector<std::string> command;
  if (!env.empty()) command.push_back("env");
  command.insert(command.end(), env.begin(), env.end());
  command.insert(command.end(), argv.begin(), argv.end());
  std::vector<char*> arg_pointers;
  for (const std::string& a : command) arg_pointers.push_back(const_cast<char*>(a.c_str()));
  arg_pointers.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, stdin_path.c_str(), O_RDWR | O_NOCTTY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (dir_.path() / "err").c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  int ends[2] = {-1, -1};
  if (!unread_out) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (dir_.path() / "out").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0600);
  } else if (::pipe2(ends, O_CLOEXEC) == 0) {  // so that no other child holds the pipe open
    posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  }
  // A name without a slash is looked up on the test's own PATH.
  const int rc =
      posix_spawnp(&pid_, command.at(0).c_str(), &actions, nullptr, arg_pointers.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  for (int end : ends) {
    if (end >= 0) ::close(end);
  }
  if (rc != 0) {
    pid_ = -1;
    start_error_ = argv[0] + ": " + std::strerror(rc);
    return;
  }
  // The tool and the simulated chip keep the protocol's 100 ms answers only with the CPU when
  // they need it: they run ahead of whatever else loads the machine. As a user (EPERM) they
  // run as before.
  ::setpriority(PRIO_PROCESS, static_cast<id_t>(pid_), -10);
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
}

int ChildProcess::Wait(int timeout_ms) {
  if (pid_ <= 0) return exit_code_;
  // A program that prints without end would fill the disk before any time-out.
  constexpr std::uintmax_t kOutputBoundBytes = 16u << 20;
  const auto overflowing = [this] {
    for (const char* stream : {"out", "err"}) {
      std::error_code absent;
      const std::uintmax_t bytes = std::filesystem::file_size(dir_.path() / stream, absent);
      if (!absent && bytes > kOutputBoundBytes) return true;
    }
    return false;
  };
  int status = 0;
  pid_t done = 0;
  WaitUntil([&] { return (done = ::waitpid(pid_, &status, WNOHANG)) != 0 || overflowing(); }, timeout_ms);
  if (done == 0 && overflowing()) {
    start_error_ = "printed more than " + std::to_string(kOutputBoundBytes >> 20) + " MiB; killed\n";
    ::kill(pid_, SIGKILL);
    done = ::waitpid(pid_, &status, 0);
  }
  if (done != pid_) return -1;
  pid_ = -1;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return exit_code_;
}

void ChildProcess::Signal(int signal_number) {
  if (pid_ > 0) ::kill(pid_, signal_number);
}

std::string ChildProcess::Out() const { return ReadText((dir_.path() / "out").string()); }

std::string ChildProcess::Err() const { return start_error_ + ReadText((dir_.path() / "err").string()); }
