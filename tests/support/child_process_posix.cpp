#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

std::string ReadText(const std::filesystem::path& path) {
  const auto bytes = ReadBytes(path.string());
  return {bytes.begin(), bytes.end()};
}

std::string EnvName(const std::string& entry) { return entry.substr(0, entry.find('=')); }

// Sets up fd of the child as the option says; returns the parent's reading end for a pipe
// the test reads, else -1.
int Redirect(posix_spawn_file_actions_t* actions, int fd, ChildOutput how,
             const std::filesystem::path& file, std::vector<int>* close_after_spawn) {
  if (how == ChildOutput::kCapture) {
    posix_spawn_file_actions_addopen(actions, fd, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    return -1;
  }
  int ends[2];
  // Close-on-exec, so that no other child holds the pipe open; dup2 clears it on fd.
  if (::pipe2(ends, O_CLOEXEC) != 0) return -1;
  posix_spawn_file_actions_adddup2(actions, ends[1], fd);
  close_after_spawn->push_back(ends[1]);
  if (how == ChildOutput::kUnread) {
    close_after_spawn->push_back(ends[0]);
    return -1;
  }
  return ends[0];
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const ChildOptions& options) {
  std::vector<std::string> environment;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    bool replaced = false;
    for (const std::string& own : options.env) replaced |= EnvName(own) == EnvName(entry);
    if (!replaced) environment.push_back(entry);
  }
  environment.insert(environment.end(), options.env.begin(), options.env.end());

  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<char*> envp;
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, options.stdin_path.c_str(), O_RDONLY, 0);
  std::vector<int> close_after_spawn;
  out_fd_ = Redirect(&actions, STDOUT_FILENO, options.out, dir_.path() / "out", &close_after_spawn);
  Redirect(&actions, STDERR_FILENO, options.err, dir_.path() / "err", &close_after_spawn);
  const int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  for (int fd : close_after_spawn) ::close(fd);
  if (rc != 0) {
    pid_ = -1;
    start_error_ = argv[0] + ": " + std::strerror(rc);
  }
}

ChildProcess::~ChildProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  if (out_fd_ >= 0) ::close(out_fd_);
}

int ChildProcess::Wait(int timeout_ms) {
  if (pid_ <= 0) return exit_code_;
  int status = 0;
  pid_t done = 0;
  if (timeout_ms < 0) {
    while ((done = ::waitpid(pid_, &status, 0)) < 0 && errno == EINTR) {
    }
  } else {
    WaitUntil([&] { return (done = ::waitpid(pid_, &status, WNOHANG)) != 0; }, timeout_ms);
  }
  if (done != pid_) return -1;
  pid_ = -1;
  exit_code_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return exit_code_;
}

void ChildProcess::Signal(int signal_number) {
  if (pid_ > 0) ::kill(pid_, signal_number);
}

std::string ChildProcess::Out() const { return ReadText(dir_.path() / "out"); }

std::string ChildProcess::Err() const { return ReadText(dir_.path() / "err"); }

std::string ChildProcess::ReadLine(int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string line;
  char c;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd p{out_fd_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
    if (::read(out_fd_, &c, 1) != 1) return "";
    if (c == '\n') return line;
    line += c;
  }
}

namespace {

ChildOptions PipedOut() {
  ChildOptions options;
  options.out = ChildOutput::kPipe;
  return options;
}

}  // namespace

SimOnPty::SimOnPty(const std::vector<std::string>& argv) : ChildProcess(argv, PipedOut()) {
  device_ = ReadLine(5000);
}

std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    std::size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const auto candidate = std::filesystem::path(dirs.substr(start, end - start)) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    start = end + 1;
  }
  return "";
}
