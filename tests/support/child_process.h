#pragma once
// A program started by a test. It is killed and reaped when the object goes, so a failed
// assertion leaves nothing running.
#include <sys/types.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_dir.h"

// Waits (polling) until pred() holds or timeout_ms passed; returns pred().
template <typename Pred>
bool WaitUntil(Pred pred, int timeout_ms) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (!pred()) {
    if (std::chrono::steady_clock::now() >= deadline) return pred();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

class ChildProcess {
 public:
  // Starts argv[0] (a path, or a name looked up on PATH) with standard input from stdin_path
  // and its output captured, or with unread_out a pipe whose reader went away. env holds
  // NAME=VALUE entries that replace or extend the test's own environment. When it cannot be
  // started, Err() says why.
  explicit ChildProcess(const std::vector<std::string>& argv, bool unread_out = false,
                        const std::vector<std::string>& env = {}, const std::string& stdin_path = "/dev/null");
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Its exit status (128 + N after signal N), or -1 while it still runs after timeout_ms.
  // Once reaped, the status is kept.
  int Wait(int timeout_ms);
  void Signal(int signal_number);
  // Its process id while it runs (-1 once reaped or never started).
  pid_t pid() const { return pid_; }

  // The captured streams so far.
  std::string Out() const;
  std::string Err() const;

 private:
  TempDir dir_;  // the captured streams
  pid_t pid_ = -1;
  int exit_code_ = -1;
  std::string start_error_;
};
