#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include "cli/gang_burn.h"
#include "cli/stop_signals.h"

extern char** environ;

namespace {

// The first stop signal, from its handler: lock-free atomics only.
std::atomic<int> gang_signal{0};

extern "C" void OnGangSignal(int signal_number) {
  int none = 0;
  gang_signal.compare_exchange_strong(none, signal_number);
}

// A missed wake-up (a signal just before poll) is caught this soon.
constexpr int kSignalLookMs = 200;

struct Child {
  pid_t pid = -1;
  int out_fd = -1;
  std::string pending;  // a line not yet ended
  bool forwarded = false;
};

std::string SelfPath() {
  char path[PATH_MAX];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return "";
  return std::string(path, static_cast<std::size_t>(length));
}

pid_t Spawn(const std::string& self, const std::vector<std::string>& args, int out_fd, std::string& error) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(self.c_str()));
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out_fd, STDOUT_FILENO);
  // Every line a child writes to standard error is also one of its JSON events, which the
  // parent shows with the port; unprefixed, they would also tear a terminal's redrawn lines.
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int failure = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failure != 0) {
    error = "cannot start " + self + ": " + std::strerror(failure);
    return -1;
  }
  return pid;
}

int WaitStatus(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

void Drain(std::size_t index, Child& child, const ChildLineSink& on_line) {
  char buffer[4096];
  const ssize_t count = ::read(child.out_fd, buffer, sizeof buffer);
  if (count < 0 && errno == EINTR) return;
  if (count <= 0) {
    if (!child.pending.empty()) on_line(index, child.pending);
    ::close(child.out_fd);
    child.out_fd = -1;
    return;
  }
  child.pending.append(buffer, static_cast<std::size_t>(count));
  for (std::size_t end; (end = child.pending.find('\n')) != std::string::npos;) {
    on_line(index, child.pending.substr(0, end));
    child.pending.erase(0, end + 1);
  }
}

}  // namespace

std::vector<int> RunSelfChildren(const std::vector<std::vector<std::string>>& args,
                                 const ChildLineSink& on_line, int* stop_signal, std::string& error) {
  *stop_signal = 0;
  const std::string self = SelfPath();
  if (self.empty()) {
    error = std::string("cannot find this program's file: ") + std::strerror(errno);
    return {};
  }
  CatchStopSignals(OnGangSignal);
  std::vector<Child> children(args.size());
  for (std::size_t i = 0; i < args.size(); ++i) {
    int pipe_fds[2];
    if (::pipe2(pipe_fds, O_CLOEXEC) != 0) {
      error = std::string("cannot make a pipe: ") + std::strerror(errno);
    } else {
      children[i].out_fd = pipe_fds[0];
      children[i].pid = Spawn(self, args[i], pipe_fds[1], error);
      ::close(pipe_fds[1]);
    }
    if (children[i].pid < 0) {
      // Nothing burns half a gang: the ones already started are stopped and reaped.
      for (Child& started : children) {
        if (started.pid > 0) ::kill(started.pid, SIGTERM);
        if (started.pid > 0) WaitStatus(started.pid);
        if (started.out_fd >= 0) ::close(started.out_fd);
      }
      return {};
    }
  }

  for (;;) {
    std::vector<pollfd> fds;
    std::vector<std::size_t> owners;
    for (std::size_t i = 0; i < children.size(); ++i) {
      if (children[i].out_fd < 0) continue;
      fds.push_back({children[i].out_fd, POLLIN, 0});
      owners.push_back(i);
    }
    if (fds.empty()) break;
    if (const int signal_number = gang_signal.load(); signal_number != 0) {
      for (Child& child : children) {
        if (!child.forwarded) ::kill(child.pid, signal_number);
        child.forwarded = true;
      }
    }
    if (::poll(fds.data(), fds.size(), kSignalLookMs) <= 0) continue;
    for (std::size_t k = 0; k < fds.size(); ++k) {
      if (fds[k].revents != 0) Drain(owners[k], children[owners[k]], on_line);
    }
  }
  std::vector<int> statuses;
  for (const Child& child : children) statuses.push_back(WaitStatus(child.pid));
  *stop_signal = gang_signal.load();
  return statuses;
}
