#pragma once
// The shell seam for tests: every call is recorded, nothing is shown.
#include <cstdint>
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
  std::string title;
  int chip = -1;
  std::string port_status;
  std::vector<std::uint32_t> bank_bytes;  // bank 0 and bank 1 as last shown
  std::vector<std::uint32_t> checksums;   // each ShowChecksum
  std::vector<bool> input_locks;          // each LockBurnInputs
  std::vector<bool> burn_offers;          // each OfferBurn
  std::vector<int> handshakes;            // each HandshakeSeen
  std::vector<int> progress;              // each ShowBurnProgress
  BurnButton burn_button = BurnButton::Close;
  std::vector<bool> burn_button_enables;  // each EnableBurnButton
  std::vector<bool> verify_box_enables;   // each EnableVerifyBox
  Window main_window = nullptr;
};

// The record, guarded: the burn worker calls the shell from its own thread.
RecordedShell ShellRecord();
void ResetShellRecord();
void SetRecordedMainWindow(Window window);

// Runs in ShowMessage after the message is recorded, as if the user acted while the box
// was open; none by default. ResetShellRecord removes it.
void SetMessageBoxAction(std::function<void()> action);
