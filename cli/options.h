#pragma once
// The command line as plain values: ParseCommandLine (options.cpp, the one file that knows the
// parser) fills them, and each command reads its own.
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// --chip, --fill, --bank, --json and FILE [FILE2]: what every command that loads files shares.
struct LoadOptions {
  std::optional<int> chip_model;  // --chip: 0 RM5164, 1 RM5168; otherwise the profile's ChipID
  std::optional<int> fill_byte;   // --fill: 255 or 0; otherwise the profile's UnusedBytes
  std::optional<int> bank;        // --bank: one file into bank 0 or 1 alone
  bool json = false;              // --json
  std::vector<std::string> files;
};

// --reset, --reset-ms, --reset-command and --reset-timeout.
struct ResetOptions {
  std::string line;  // "" (no pulse), "dtr", "rts", "dtr-inverted" or "rts-inverted"
  std::uint32_t pulse_ms = 100;
  std::string command;  // "" for none
  double command_timeout_seconds = 10;
};

// --port, --baud, --wait and the reset options.
struct PortOptions {
  std::vector<std::string> ports;  // each --port as given; burn alone takes several
  std::string port;                // the one a session opens
  std::optional<int> baud_index;
  std::optional<double> wait_seconds;
  ResetOptions reset;
  // Before the reset hooks, the session waits until the line has been silent this long:
  // the last chip, still announcing, is off the line (0: no wait).
  std::uint32_t quiet_before_ms = 0;
};

// --repeat, --count, --gap-ms and --log.
struct RepeatOptions {
  bool on = false;
  int count = 0;                   // 0: until a stop signal
  std::uint32_t gap_ms = 1000;     // the silence that says the last board is out
  std::string log_path;            // "" for none
};

// --timestamps, --hex, --expect and --seconds: how monitor (and burn --monitor) watch a port.
struct WatchOptions {
  bool timestamps = false;
  bool hex = false;
  std::string expect;             // "" for none
  std::optional<double> seconds;  // how long at most (none: until Ctrl-] or a stop)
};

struct InfoOptions {
  LoadOptions load;
  std::string image_out;
};

struct BurnOptions {
  LoadOptions load;
  PortOptions port;
  std::optional<int> verify;  // the last of --verify (1) and --checksum (0)
  RepeatOptions repeat;
  std::optional<std::uint32_t> monitor;  // --monitor [RATE]: the rate, 0 for the burn's
  WatchOptions watch;
};

struct PortsOptions {
  bool json = false;
};

struct ReadOptions {
  std::optional<int> chip_model;
  PortOptions port;
  bool json = false;
  std::string bank = "both";  // "0", "1" or "both"
  std::string out;
};

struct VerifyOptions {
  LoadOptions load;
  PortOptions port;
  bool checksum = false;
};

struct MonitorOptions {
  PortOptions port;                   // --port and the reset options (its baud_index unused)
  std::optional<std::uint32_t> rate;  // --baud: any rate; else the profile's BaudRate
  WatchOptions watch;
  bool json = false;
};

// The command chosen, with its options.
using CommandOptions =
    std::variant<InfoOptions, BurnOptions, PortsOptions, ReadOptions, VerifyOptions, MonitorOptions>;

struct CommandLine {
  CommandOptions command;
  // Set when the parse ended the run itself: 0 once help or the version is printed, 2 once a
  // usage error is told on standard error.
  std::optional<int> exit_status;
};

// Parses the program's arguments. Help and the version go to standard output, usage errors
// (and the help after no command at all) to standard error, before it returns.
CommandLine ParseCommandLine(int argc, char** argv);
