#pragma once
// What one open attempt did, for the front end to show without reading it back from the
// window: the messages it raised (also shown as boxes), the files and what they became.
#include <cstdint>
#include <string>
#include <vector>

#include "shell/shell.h"

struct LoadMessage {
  int kind;  // MessageError or MessageWarning
  std::string text;
};

struct LoadReport {
  int file_state = 0;              // 0 nothing loaded, 1 one file, 2 two files
  std::vector<std::string> files;  // the paths the attempt opened, in order
  std::string title;               // the main window's title after the attempt
  std::uint32_t bank0_bytes = 0;   // what a burn writes of each bank
  std::uint32_t bank1_bytes = 0;
  std::uint32_t image_checksum = 0;  // shown on the face
  std::uint32_t burn_sum = 0;        // compared by the checksum phase
  std::vector<LoadMessage> messages;
};

// "BANK0 : 512 byte(s)": a bank's size as the status bar and the command line word it.
std::string BankSizeText(int bank, std::uint32_t bytes);

// ShowMessage for the open sequences: the box, and the message kept for the report of the
// attempt under way (if any).
void TellLoad(Window owner, const std::string& text, int kind);

// Collects the messages of one open attempt while it lives (an attempt inside another keeps
// its own).
class LoadAttempt {
 public:
  LoadAttempt();
  ~LoadAttempt();
  LoadAttempt(const LoadAttempt&) = delete;
  LoadAttempt& operator=(const LoadAttempt&) = delete;
  // The report of the attempt from the image's state now (after RefreshAfterLoad).
  LoadReport Finish(std::vector<std::string> files);

 private:
  std::vector<LoadMessage> messages_;
  std::vector<LoadMessage>* outer_;
};
