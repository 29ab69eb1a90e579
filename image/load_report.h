#pragma once
// What one open attempt did: the messages it raised, in order, the files and what they became,
// enough for a front end to show the boxes and update its title, bank sizes and checksum.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

enum LoadMessageKind : int { LoadError = 0, LoadWarning = 1 };

struct LoadMessage {
  int kind;  // LoadError or LoadWarning
  std::string text;
};

// Told each message of an attempt as it arises, so a front end can show it at that moment.
using MessageSink = std::function<void(const LoadMessage&)>;

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
