#include "tests/isp/sim_process.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <sstream>
#include <stdexcept>

#include "image/bank_image.h"
#include "isp/protocol.h"
#include "serial/serial_port.h"
#include "settings/settings.h"

namespace {

std::vector<std::string> SimArgv(const TempDir& dir, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {RM_SIM_PATH, "--log", (dir.path() / "sim.log").string(),
                                   "--flash-out", (dir.path() / "flash.bin").string()};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& args)
    : sim_(SimArgv(dir_, args), ChildOutput::kPipe), device_(sim_.ReadLine(5000)) {
  if (device_.empty()) throw std::runtime_error("rm516x-sim printed no device: " + sim_.Err());
}

SimProcess::~SimProcess() { Terminate(); }

bool SimProcess::WaitExit(int timeout_ms) {
  if (sim_.Wait(timeout_ms) == 0) return true;
  Terminate();
  return false;
}

void SimProcess::Terminate() {
  sim_.Signal(SIGTERM);
  sim_.Wait();
}

std::string SimProcess::Log() const {
  const std::vector<std::uint8_t> bytes = ReadBytes((dir_.path() / "sim.log").string());
  return {bytes.begin(), bytes.end()};
}

std::vector<std::string> SimProcess::LogLines(const std::string& prefix) const {
  std::vector<std::string> lines;
  std::istringstream in(Log());
  for (std::string line; std::getline(in, line);) {
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
  }
  return lines;
}

std::vector<std::uint8_t> SimProcess::Flash() const {
  return ReadBytes((dir_.path() / "flash.bin").string());
}

void OpenSimPort(const SimProcess& sim) {
  BaudRateIndex = 7;
  SetPortDevice(sim.device());
  if (!OpenComPort()) throw std::runtime_error("cannot open " + sim.device() + ": " + LastPortError());
  PurgeReceive();
  StopRequested = 0;
}

void LoadTestImage(int model, std::uint32_t bank0_pages, std::uint32_t bank1_pages,
                   std::uint32_t seed, const std::vector<std::uint32_t>& blank_pages) {
  UseChipModel(model);
  FillByte = 255;
  FillImage();
  const std::uint32_t page_size = PageSize.load();
  std::mt19937 random(seed);
  for (int bank = 0; bank < 2; ++bank) {
    const std::uint32_t pages = bank == 0 ? bank0_pages : bank1_pages;
    for (std::uint32_t i = 0; i < pages * page_size; ++i) {
      FirmwareImage[bank * kBankSizeBytes + i] = static_cast<std::uint8_t>(random());
    }
  }
  for (std::uint32_t page : blank_pages) {
    std::fill_n(FirmwareImage + page * page_size, page_size, std::uint8_t{0xFF});
  }
  Bank0Size = bank0_pages * page_size;
  Bank1Size = bank1_pages * page_size;
  FileState = 1;
}

std::string FlashMismatch(const std::vector<std::uint8_t>& flash) {
  for (int bank = 0; bank < 2; ++bank) {
    const std::uint32_t size = bank == 0 ? Bank0Size.load() : Bank1Size.load();
    for (std::uint32_t i = 0; i < size; ++i) {
      const std::uint32_t at = bank * kBankSizeBytes + i;
      if (at >= flash.size()) return "flash ends at " + std::to_string(flash.size());
      if (flash[at] != FirmwareImage[at]) {
        char text[96];
        std::snprintf(text, sizeof text, "offset 0x%05X: flash %02X, image %02X", static_cast<unsigned>(at),
                      flash[at], FirmwareImage[at]);
        return text;
      }
    }
  }
  return "";
}
