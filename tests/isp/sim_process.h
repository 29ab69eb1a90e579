#pragma once
// The real rm516x-sim on a pseudo-terminal: one session helper for every test that burns.
#include <cstdint>
#include <string>
#include <vector>

#include "serial/serial_port.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

class SimProcess {
 public:
  // Starts the simulator with args plus its log and flash-out in a fresh folder, and waits
  // for the device path it prints first.
  explicit SimProcess(const std::vector<std::string>& args);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  const std::string& device() const { return device_; }
  const TempDir& dir() const { return dir_; }

  // Waits for the simulator to end on its own (its sessions done or abandoned); true when
  // it exited with status 0 in time. Sends SIGTERM and returns false otherwise.
  bool WaitExit(int timeout_ms);
  void Terminate();

  std::string Log() const;
  // The log's lines that start with prefix ("VIOLATION", "RX erase", ...).
  std::vector<std::string> LogLines(const std::string& prefix) const;
  std::vector<std::uint8_t> Flash() const;

 private:
  TempDir dir_;  // before sim_: the simulator writes into it
  ChildProcess sim_;
  std::string device_;
};

// The text's lines (without their line ends) that start with prefix.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix = "");

// Opens the simulator's device on port at 115200 bit/s and empties its input.
void OpenSimPort(SerialPort& port, const std::string& device);
