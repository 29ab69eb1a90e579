// rm516x-sim: options, signals and the loop over sessions.
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

#include "sim/sim.h"

int SimChipModel = 0;
int SimVersion = 23;
int SimAnnounceMs = 100;
int SimIdleMs = 3000;
int SimMarkerDelayMs = 200;
int SimSessions = 1;
int SimLingerMs = 0;
int SimSwapMs = 0;
std::uint32_t SimSeed = 1;
std::string SimFlashOut;
volatile std::sig_atomic_t SimStopRequested = 0;
volatile std::sig_atomic_t SimPoweredOn = 1;
volatile std::sig_atomic_t SimResetRequested = 0;
bool SimRun = false;
int SimIspWindowMs = 0;
int SimXtalHz = 11059200;

namespace {

constexpr int kUsageExit = 2;

const char kDescription[] =
    "Plays the ISP firmware of an RM5164 or RM5168 on a pseudo-terminal. The first line on\n"
    "standard output is the device a host opens (e.g. /dev/pts/5).\n";

const char kFooter[] =
    R"(Flash: page byte p is bank 0 page p; on the RM5164 it is simply page p (offset p*256);
on the RM5168 bit 7 selects bank 1 (offset 0x10000 + (p&0x7F)*512). Erase byte e erases
pages e and e+1. Page bytes above 0xFD hold the ISP firmware: never erased or written.
A page is programmed like NOR flash (new = old AND data), so a page the host did not
erase reads back wrong.

VIOLATION lines: any byte after the device went quiet (a fault the host must fail on, a
read-back that differs from what the host programmed, a silence); bytes before the echo
of the word or before the erase marker; an odd erase byte or one reaching past 0xFD; a
page byte above 0xFD; a page not erased in this session; a page programmed twice or cut
short; the end of the checksum phase after page sums that do not add up.
With --run the chip leaves its bootloader after a burn, or when its ISP window passes with
no host answering, and s51 (Debian package sdcc-ucsim) runs bank 0 as the 8051's code memory
with its UART on the same pseudo-terminal. The application answers no handshake; SIGUSR1
resets the chip into its ISP window (burn --reset-command 'kill -USR1 PID'). Bank 1 of the
RM5168 is not executed: how it maps into the code space is not known. s51 runs the code as
fast as it can, not at the crystal's speed; only --pace holds its output to the line rate.
Exit status: 0 after the sessions, a hang-up fault or SIGINT/SIGTERM; 2 for a bad option;
1 when no pseudo-terminal can be opened, or --run finds no s51.

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
    throw CLI::ValidationError("bad value '" + text + "' for " + option + " (want " +
                               std::to_string(low) + ".." + std::to_string(high) + ")");
  }
  return static_cast<int>(value);
}

// A count option: its value checked and stored as soon as the parser meets it.
CLI::Option* AddCount(CLI::App& app, const std::string& name, int& target, long low, long high,
                      const std::string& help) {
  return app.add_option_function<std::string>(
         name, [&target, name, low, high](const std::string& text) {
           target = ParseCount(name, text, low, high);
         }, help)
      ->type_name(name == "--seed" || name == "--sessions" ? "N" : "MS");
}

// The parser's own errors, in this program's words.
std::string UsageText(const CLI::App& app, const CLI::ParseError& error) {
  if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
    return "unknown option '" + app.remaining().front() + "'";
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
    const std::string text = error.what();
    return "missing value after " + text.substr(0, text.find(':'));
  }
  return error.what();
}

void OnSignal(int) { SimStopRequested = 1; }

void OnPowerOn(int) {
  SimPoweredOn = 1;
  SimResetRequested = 1;
}

// A chip without power neither announces nor hears: what the host sends meanwhile is lost.
// False on a stop request or hang-up.
bool WaitForPower() {
  if (SimPoweredOn) return true;
  LogNote("powered off: silent until SIGUSR1");
  while (!SimPoweredOn) {
    if (LinkRead(100) == kLinkStopped) return false;
  }
  LogNote("powered on");
  return true;
}

void SaveFlashOut() {
  if (SimFlashOut.empty()) return;
  std::string error;
  if (!SaveFlash(SimFlashOut, &error)) std::fprintf(stderr, "rm516x-sim: %s\n", error.c_str());
}

// Out of the bootloader without --run: the program is not simulated, so the chip is silent
// and deaf until a reset. False on a stop request or hang-up.
bool WaitForReset() {
  LogNote("the chip runs its program (not simulated without --run): silent until SIGUSR1");
  while (!SimResetRequested) {
    if (LinkRead(100) == kLinkStopped) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::string link_path, flash_in, log_path;
  bool pace = false;
  bool powered_off = false;
  int seed = static_cast<int>(SimSeed);
  CLI::App app{kDescription, "rm516x-sim"};
  app.footer(std::string(kFooter) + FaultHelp());
  app.get_formatter()->column_width(20);
  app.add_option_function<std::string>(
         "--chip", [](const std::string& chip) {
           if (chip == "RM5164") SimChipModel = 0;
           else if (chip == "RM5168") SimChipModel = 1;
           else throw CLI::ValidationError("unknown chip '" + chip + "' (want RM5164 or RM5168)");
         },
         "RM5164 (64 KiB, 256-byte pages; default) or RM5168 (2 x 64 KiB banks, 512-byte pages)")
      ->type_name("MODEL");
  app.add_option("--link", link_path,
                 "also make PATH a symbolic link to the device (replaced if it is a link; "
                 "removed at exit)")
      ->type_name("PATH");
  // Alone, --version is the usual "which program is this"; with a value it keeps setting the
  // simulated firmware's version byte, which scripts and tests rely on.
  app.add_option_function<std::string>(
         "--version", [](const std::string& v) {
           if (v.empty()) throw CLI::CallForVersion(std::string("rm516x-sim ") + RM_VERSION, 0);
           SimVersion = v == "none" ? -1 : ParseCount("--version", v, 0, 255);
         },
         "version byte sent after the handshake (default 23; none = no byte); without N, "
         "print the program's version and exit")
      ->type_name("[N|none]")
      ->expected(0, 1);
  AddCount(app, "--announce-ms", SimAnnounceMs, 1, 60000,
           "gap between handshake words \"zafo\" (default 100)");
  AddCount(app, "--idle-ms", SimIdleMs, 1, 3600000,
           "host silence after the handshake that abandons a burn (default 3000)");
  AddCount(app, "--marker-ms", SimMarkerDelayMs, 0, 60000,
           "gap between the host's echo and the erase marker (default 200; keep it above "
           "the host's 100 ms wait for the version byte)");
  app.add_option("--flash-in", flash_in,
                 "initial flash contents; the rest (or all, without it) is pseudo-random")
      ->type_name("PATH");
  AddCount(app, "--seed", seed, 0, 0x7FFFFFFF,
           "seed of the pseudo-random contents (default 1)");
  app.add_option("--flash-out", SimFlashOut, "the flash is written here after every burn and at exit")
      ->type_name("PATH");
  app.add_flag("--pace", pace,
               "hold bytes both ways to the wire time of the rate the host set (10 bits a byte)");
  int latency_ms = 0;
  AddCount(app, "--latency-ms", latency_ms, 0, 1000,
           "hold output until 62 bytes are queued or N ms have passed, as a USB serial "
           "adapter does (default 0: none)");
  app.add_flag("--powered-off", powered_off,
               "stay silent, ignoring the host, until SIGUSR1 powers the chip on");
  CLI::Option* sessions = AddCount(app, "--sessions", SimSessions, 0, 1000000,
           "exit 0 after N burns, ended or abandoned (default 1; 0 = run until SIGINT/SIGTERM)");
  CLI::Option* linger = AddCount(app, "--linger-ms", SimLingerMs, 0, 3600000,
           "after each burn but the last, the burned chip keeps announcing for MS (a host "
           "that answers burns it twice: a VIOLATION) (default 0)");
  CLI::Option* swap = AddCount(app, "--swap-ms", SimSwapMs, 0, 3600000,
           "then the line is silent for MS while the board is swapped, before the next "
           "session announces (default 0)");
  app.add_flag("--run", SimRun,
               "after a burn, or an ISP window with no host, run bank 0 in s51 with its UART "
               "on this line, until SIGINT/SIGTERM (not bank 1 of an RM5168; see below)")
      ->excludes(sessions)
      ->excludes(linger)
      ->excludes(swap);
  CLI::Option* window = AddCount(
      app, "--isp-window-ms", SimIspWindowMs, 0, 3600000,
      "how long the bootloader announces for a host after power-on or SIGUSR1 before it leaves "
      "for the program (default 0 = for ever; 1000 with --run)");
  AddCount(app, "--xtal", SimXtalHz, 1000, 100000000,
           "the crystal s51 simulates, in Hz (default 11059200)")
      ->type_name("HZ");
  app.add_option_function<std::vector<std::string>>(
         "--fault", [](const std::vector<std::string>& texts) {
           for (const std::string& text : texts) {
             Fault fault;
             std::string error;
             if (!ParseFault(text, &fault, &error)) throw CLI::ValidationError(error);
             SimFaults.push_back(fault);
           }
         },
         "inject a fault (repeatable; see below)")
      ->type_name("FAULT");
  app.add_option("--log", log_path,
                 "one line per exchange (\"TX|RX PHASE hex bytes\"), \"NOTE ...\" for sessions and "
                 "faults, \"VIOLATION PHASE: ...\" for every protocol violation by the host")
      ->type_name("PATH");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::CallForVersion& version) {
    std::printf("%s\n", version.what());
    return 0;
  } catch (const CLI::ParseError& error) {
    UsageError(UsageText(app, error));
  }
  SimSeed = static_cast<std::uint32_t>(seed);
  std::string s51_path;
  if (SimRun) {
    s51_path = FindS51();
    if (s51_path.empty()) {
      Fatal("--run needs s51, the 8051 simulator of the package sdcc-ucsim "
            "(apt-get install sdcc-ucsim, or scripts/setup.sh)");
    }
    if (window->count() == 0) SimIspWindowMs = 1000;
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
  action.sa_handler = OnPowerOn;
  sigaction(SIGUSR1, &action, nullptr);
  if (powered_off) SimPoweredOn = 0;

  std::string slave_path;
  if (!LinkOpen(&slave_path, &error)) Fatal(error);
  if (!link_path.empty() && !LinkMakeSymlink(link_path, slave_path, &error)) {
    LinkClose();
    UsageError(error);
  }
  LinkSetPacing(pace);
  LinkSetLatency(latency_ms);
  std::printf("%s\n", slave_path.c_str());
  std::fflush(stdout);

  for (int done = 0; WaitForPower();) {
    SimResetRequested = 0;
    SessionEnd end = RunSession(done + 1);
    if (end == SessionEnd::kStopped) break;
    if (end != SessionEnd::kWindowClosed) {
      ++done;
      SaveFlashOut();
      if (!SimRun && SimSessions > 0 && done >= SimSessions) break;
    }
    if (SimRun) {
      if (!RunApplication(s51_path)) break;
    } else if (end == SessionEnd::kWindowClosed) {
      if (!WaitForReset()) break;
    } else if (!SwapBoard(done)) {
      break;
    }
  }
  if (SimStopRequested) LogNote("stopped by a signal");
  SaveFlashOut();
  LinkRemoveSymlink();
  LinkClose();
  return 0;
}
