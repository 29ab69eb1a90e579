#pragma once
// Standard input as the monitor reads it: a terminal in raw mode, each key as it is typed
// with no echo and no signal from Ctrl-C (which the board may want), given back as it was
// found however the run ends; or a pipe or file, read as it comes. One file per platform.
#include <memory>

class ConsoleInput {
 public:
  // Takes a terminal into raw mode.
  ConsoleInput();
  // Gives the terminal back its settings.
  ~ConsoleInput();
  ConsoleInput(const ConsoleInput&) = delete;
  ConsoleInput& operator=(const ConsoleInput&) = delete;

  // Standard input is a terminal: its keys are a user's, and Ctrl-] ends the monitor.
  bool terminal() const { return terminal_; }

  // Reads what input is there now, without waiting: the count, 0 when none, -1 once the
  // input has ended or failed.
  int Read(char* buffer, int size);

 private:
  struct Saved;  // the platform's settings as found
  std::unique_ptr<Saved> saved_;
  bool terminal_ = false;
  bool ended_ = false;
};
