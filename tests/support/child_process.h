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

enum class ChildOutput {
  kCapture,  // to a file, readable with Out() while it runs and after
  kPipe,     // a pipe the test reads through ReadLine()
  kUnread,   // a pipe whose reading end is closed at once: a reader that went away
};

class ChildProcess {
 public:
  // Starts argv[0] (a path, or a name looked up on PATH) with standard input from /dev/null
  // and standard error captured. env holds NAME=VALUE entries that replace or extend the
  // test's own environment. When it cannot be started, started() is false and Err() says why.
  explicit ChildProcess(const std::vector<std::string>& argv, ChildOutput out = ChildOutput::kCapture,
                        const std::vector<std::string>& env = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return pid_ > 0 || exit_code_ >= 0; }
  pid_t pid() const { return pid_; }

  // Its exit status (128 + N after signal N), or -1 while it still runs after timeout_ms;
  // a negative timeout waits for ever. Once reaped, the status is kept.
  int Wait(int timeout_ms = -1);
  void Signal(int signal_number);

  // The captured streams so far ("" for standard output not captured).
  std::string Out() const;
  std::string Err() const;
  // The next line on a piped standard output, without its newline; "" when no whole line
  // came within timeout_ms.
  std::string ReadLine(int timeout_ms);

 private:
  TempDir dir_;  // the captured streams
  pid_t pid_ = -1;
  int exit_code_ = -1;
  int out_fd_ = -1;
  std::string start_error_;
};

// Full path of a program on PATH, or "" when there is none.
std::string FindOnPath(const std::string& name);
