#include "tests/isp/sim_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <stdexcept>


namespace {

std::vector<std::string> SimArgv(const TempDir& dir, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {RM_SIM_PATH, "--log", (dir.path() / "sim.log").string(),
                                   "--flash-out", (dir.path() / "flash.bin").string()};
  // A host on a loaded machine may echo a word only after the next one went out, and then
  // read that word's first byte as the version: a real chip's race, not what a test is about.
  if (std::find(args.begin(), args.end(), "--announce-ms") == args.end()) {
    argv.insert(argv.end(), {"--announce-ms", "250"});
  }
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& args) : sim_(SimArgv(dir_, args)) {
  if (!WaitUntil([&] { return sim_.Out().find('\n') != std::string::npos; }, 5000)) {
    throw std::runtime_error("rm516x-sim printed no device: " + sim_.Err());
  }
  device_ = sim_.Out().substr(0, sim_.Out().find('\n'));
}

SimProcess::~SimProcess() {
  Terminate();
  // What the chip saw is the first thing to read when a burn test fails.
  if (::testing::Test::HasFailure()) std::fprintf(stderr, "rm516x-sim log:\n%s", Log().c_str());
}

bool SimProcess::WaitExit(int timeout_ms) {
  if (sim_.Wait(timeout_ms) == 0) return true;
  Terminate();
  return false;
}

void SimProcess::Terminate() {
  sim_.Signal(SIGTERM);
  // A simulator that ignores it is killed when sim_ goes.
  sim_.Wait(5000);
}

std::string SimProcess::Log() const { return ReadText((dir_.path() / "sim.log").string()); }

std::vector<std::string> SimProcess::LogLines(const std::string& prefix) const {
  return LinesStartingWith(Log(), prefix);
}

std::vector<std::uint8_t> SimProcess::Flash() const {
  return ReadBytes((dir_.path() / "flash.bin").string());
}

std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(prefix)) lines.push_back(line);
  }
  return lines;
}

void OpenSimPort(SerialPort& port, const std::string& device) {
  if (!port.Open(device, 115200)) throw std::runtime_error(port.LastError());
  port.PurgeReceive();
}
