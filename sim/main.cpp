// rm516x-sim: options, signals and the loop over sessions.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "sim/sim.h"

int SimChipModel = 0;
int SimVersion = 23;
int SimAnnounceMs = 100;
int SimIdleMs = 3000;
int SimMarkerDelayMs = 200;
int SimSessions = 1;
std::uint32_t SimSeed = 1;
std::string SimFlashOut;
volatile std::sig_atomic_t SimStopRequested = 0;

namespace {

constexpr int kUsageExit = 2;

const char kUsage[] =
    R"(Usage: rm516x-sim [--chip RM5164|RM5168] [--link PATH] [--version N|none]
                  [--announce-ms MS] [--idle-ms MS] [--marker-ms MS] [--flash-in PATH]
                  [--flash-out PATH] [--seed N] [--pace] [--sessions N] [--fault FAULT]...
                  [--log PATH]

Plays the ISP firmware of an RM5164 or RM5168 on a pseudo-terminal. The first line on
standard output is the device a host opens (e.g. /dev/pts/5).

  --chip MODEL      RM5164 (64 KiB, 256-byte pages; default) or RM5168 (2 x 64 KiB banks,
                    512-byte pages)
  --link PATH       also make PATH a symbolic link to the device (replaced if it is a link;
                    removed at exit)
  --version N|none  version byte sent after the handshake (default 23; none = no byte)
  --announce-ms MS  gap between handshake words "zafo" (default 100)
  --idle-ms MS      host silence after the handshake that abandons a burn (default 3000)
  --marker-ms MS    gap between the host's echo and the erase marker (default 200; keep it
                    above the host's 100 ms wait for the version byte)
  --flash-in PATH   initial flash contents; the rest (or all, without it) is pseudo-random
  --seed N          seed of the pseudo-random contents (default 1)
  --flash-out PATH  the flash is written here after every burn and at exit
  --pace            hold bytes both ways to the wire time of the rate the host set
                    (10 bits a byte)
  --sessions N      exit 0 after N burns, ended or abandoned (default 1; 0 = run until
                    SIGINT/SIGTERM)
  --fault FAULT     inject a fault (repeatable; see below)
  --log PATH        one line per exchange ("TX|RX PHASE hex bytes"), "NOTE ..." for
                    sessions and faults, "VIOLATION PHASE: ..." for every protocol
                    violation by the host
  --help            this text

Flash: page byte p is bank 0 page p; on the RM5164 it is simply page p (offset p*256);
on the RM5168 bit 7 selects bank 1 (offset 0x10000 + (p&0x7F)*512). Erase byte e erases
pages e and e+1. Page bytes above 0xFD hold the ISP firmware: never erased or written.
A page is programmed like NOR flash (new = old AND data), so a page the host did not
erase reads back wrong.

VIOLATION lines: any byte after the device went quiet (a fault the host must fail on, a
read-back that differs from what the host programmed, a silence); bytes before the echo
of the word or before the erase marker; an odd erase byte or one reaching past 0xFD; a
page byte above 0xFD; a page not erased in this session; a page programmed twice or cut
short; the end of the checksum phase after page sums that do not add up.
Exit status: 0 after the sessions, a hang-up fault or SIGINT/SIGTERM; 2 for a bad option;
1 when no pseudo-terminal can be opened.

)";

[[noreturn]] void UsageError(const std::string& message) {
  std::fprintf(stderr, "rm516x-sim: %s\nTry 'rm516x-sim --help'.\n", message.c_str());
  std::exit(kUsageExit);
}

[[noreturn]] void Fatal(const std::string& message) {
  std::fprintf(stderr, "rm516x-sim: %s\n", message.c_str());
  LinkRemoveSymlink();
  std::exit(1);
}

int ParseCount(const std::string& option, const std::string& text, long low, long high) {
  errno = 0;
  char* end = nullptr;
  long value = std::strtol(text.c_str(), &end, 0);
  if (text.empty() || errno != 0 || *end != '\0' || value < low || value > high) {
    UsageError("bad value '" + text + "' for " + option + " (want " + std::to_string(low) +
               ".." + std::to_string(high) + ")");
  }
  return static_cast<int>(value);
}

void OnSignal(int) { SimStopRequested = 1; }

void SaveFlashOut() {
  if (SimFlashOut.empty()) return;
  std::string error;
  if (!SaveFlash(SimFlashOut, &error)) std::fprintf(stderr, "rm516x-sim: %s\n", error.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::string link_path, flash_in, log_path;
  bool pace = false;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    std::string value;
    bool inline_value = false;
    if (option.rfind("--", 0) == 0) {
      std::size_t eq = option.find('=');
      if (eq != std::string::npos) {
        value = option.substr(eq + 1);
        option.resize(eq);
        inline_value = true;
      }
    }
    auto take = [&]() -> std::string {
      if (inline_value) return value;
      if (i + 1 >= argc) UsageError("missing value after " + option);
      return argv[++i];
    };
    if (option == "--help" || option == "-h") {
      std::fputs(kUsage, stdout);
      std::fputs(FaultHelp(), stdout);
      return 0;
    } else if (option == "--chip") {
      std::string chip = take();
      if (chip == "RM5164") SimChipModel = 0;
      else if (chip == "RM5168") SimChipModel = 1;
      else UsageError("unknown chip '" + chip + "' (want RM5164 or RM5168)");
    } else if (option == "--link") {
      link_path = take();
    } else if (option == "--version") {
      std::string v = take();
      SimVersion = v == "none" ? -1 : ParseCount(option, v, 0, 255);
    } else if (option == "--announce-ms") {
      SimAnnounceMs = ParseCount(option, take(), 1, 60000);
    } else if (option == "--idle-ms") {
      SimIdleMs = ParseCount(option, take(), 1, 3600000);
    } else if (option == "--marker-ms") {
      SimMarkerDelayMs = ParseCount(option, take(), 0, 60000);
    } else if (option == "--flash-in") {
      flash_in = take();
    } else if (option == "--flash-out") {
      SimFlashOut = take();
    } else if (option == "--seed") {
      SimSeed = static_cast<std::uint32_t>(ParseCount(option, take(), 0, 0x7FFFFFFF));
    } else if (option == "--pace" && !inline_value) {
      pace = true;
    } else if (option == "--sessions") {
      SimSessions = ParseCount(option, take(), 0, 1000000);
    } else if (option == "--fault") {
      Fault fault;
      std::string error;
      if (!ParseFault(take(), &fault, &error)) UsageError(error);
      SimFaults.push_back(fault);
    } else if (option == "--log") {
      log_path = take();
    } else {
      UsageError("unknown option '" + std::string(argv[i]) + "'");
    }
  }

  std::string error;
  if (!LoadFlash(flash_in, SimSeed, &error)) UsageError(error);
  if (!log_path.empty() && !LogOpen(log_path, &error)) UsageError(error);

  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);

  std::string slave_path;
  if (!LinkOpen(&slave_path, &error)) Fatal(error);
  if (!link_path.empty() && !LinkMakeSymlink(link_path, slave_path, &error)) {
    LinkClose();
    UsageError(error);
  }
  LinkSetPacing(pace);
  std::printf("%s\n", slave_path.c_str());
  std::fflush(stdout);

  for (int done = 0;;) {
    SessionEnd end = RunSession(done + 1);
    if (end == SessionEnd::kStopped) break;
    ++done;
    SaveFlashOut();
    if (SimSessions > 0 && done >= SimSessions) break;
  }
  if (SimStopRequested) LogNote("stopped by a signal");
  SaveFlashOut();
  LinkRemoveSymlink();
  LinkClose();
  return 0;
}
