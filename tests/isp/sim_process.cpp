#include "tests/isp/sim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "image/bank_image.h"
#include "isp/burn_status.h"
#include "serial/serial_port.h"
#include "settings/settings.h"

extern char** environ;

std::string SimPath() { return RM_SIM_PATH; }

SimProcess::SimProcess(const std::vector<std::string>& args) {
  std::vector<std::string> argv_text = {SimPath(), "--log", (dir_.path() / "sim.log").string(),
                                        "--flash-out", (dir_.path() / "flash.bin").string()};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argv_text) argv.push_back(arg.data());
  argv.push_back(nullptr);

  int out[2];
  if (::pipe(out) != 0) throw std::runtime_error("pipe failed");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  const std::string err_path = (dir_.path() / "sim.err").string();
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  if (rc != 0) {
    ::close(out[0]);
    pid_ = -1;
    throw std::runtime_error("cannot start " + SimPath());
  }
  // The first line is the device; the pipe is then left alone (the simulator prints nothing
  // more that matters).
  char c;
  pollfd p{out[0], POLLIN, 0};
  while (::poll(&p, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') device_ += c;
  ::close(out[0]);
  if (device_.empty()) {
    Terminate();
    throw std::runtime_error("rm516x-sim printed no device");
  }
}

SimProcess::~SimProcess() { Terminate(); }

bool SimProcess::WaitExit(int timeout_ms) {
  if (pid_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  Terminate();
  return false;
}

void SimProcess::Terminate() {
  if (pid_ < 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string SimProcess::Log() const {
  std::ifstream in(dir_.path() / "sim.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
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
