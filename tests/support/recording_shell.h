#pragma once
// The shell seam for tests: every call is recorded, nothing is shown.
#include <functional>
#include <string>
#include <vector>

#include "shell/shell.h"

struct ShownMessage {
  Window owner;
  std::string text;
  int kind;
};

struct RecordedShell {
  std::vector<ShownMessage> messages;
  std::string status[6];
  std::string title;
  int invalidations = 0;
  std::vector<std::pair<int, bool>> toolbar;  // (command, enabled) in call order
  std::vector<bool> burn_menu;                // each SetBurnMenuItem
  int burn_repaints = 0;
  std::vector<int> progress;                  // each SetBurnProgress
  std::string burn_button;
  std::vector<std::pair<int, bool>> burn_controls;
  bool verify_checked = false;
  Window main_window = nullptr;
};

// The record, guarded: the burn worker calls the shell from its own thread.
RecordedShell ShellRecord();
void ResetShellRecord();
void SetRecordedMainWindow(Window window);

// Runs in ShowMessage after the message is recorded, as if the user acted while the box
// was open; none by default. ResetShellRecord removes it.
void SetMessageBoxAction(std::function<void()> action);
