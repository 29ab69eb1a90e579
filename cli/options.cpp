// The whole command tree of rm516x-isp: the one file that includes the parser, so its headers
// are compiled once.
#include "cli/options.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

#include <CLI/CLI.hpp>

#include "chip/chip_spec.h"
#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/port_run.h"
#include "serial/port_list.h"
#include "serial/port_names.h"

namespace {

constexpr const char* kDescription =
    "Burns Intel HEX and binary files into the flash of RM5164 and RM5168 chips over a\n"
    "serial port, as the Windows program does.\n";

constexpr const char* kFooter =
    "'rm516x-isp COMMAND --help' describes one command. The profile gives the defaults.\n"
    "Exit status: 0 done, 1 the load, burn or read failed, verify found a difference or a\n"
    "monitor's expected text did not come, 2 usage error; 130 for a session stopped by\n"
    "Ctrl-C, 143 by SIGTERM, 129 by SIGHUP.\n";

constexpr const char* kInfoFooter =
    "Loads FILE (and FILE2) into the flash image as the Open command does and shows what\n"
    "would be burned: the title, the bank sizes and the image checksum.\n"
    "The RM5164 takes one FILE. The RM5168 lays one FILE over both banks, or puts FILE\n"
    "into bank 0 and FILE2 into bank 1.\n"
    "The profile is read for the defaults and never written.\n";

constexpr const char* kBurnFooter =
    "Loads FILE (and FILE2) as the Open command does and burns the image into the chip:\n"
    "waits for the chip's ISP handshake, erases, programs, then reads every page back\n"
    "(--verify) or compares page checksums (--checksum).\n"
    "Ctrl-C, SIGTERM and SIGHUP stop the burn as the Stop button does. The profile is read\n"
    "for the defaults and never written.\n"
    "--repeat burns chip after chip, each with a numbered result line, and ends with\n"
    "'N burned, M failed'. --port given several times burns on every port at once, each\n"
    "independently (with --repeat, chip after chip on each); the exit status is 0 only when\n"
    "no chip and no port failed.\n"
    "--monitor keeps the port after a successful burn, sets RATE, resets the chip again\n"
    "when --reset or --reset-command is given and continues as 'rm516x-isp monitor' with\n"
    "--expect and --seconds; a chip counts as burned only when its monitor passed too.\n";

constexpr const char* kPortsFooter =
    "One a line: the name to pass to 'rm516x-isp burn --port', then its stable alias,\n"
    "its driver and, for a USB adapter, its vendor:product id, serial number and product\n"
    "name when known. 'usb-serial:SERIAL' as --port picks the adapter with that serial\n"
    "number. Exit status 0 also when there is none.\n";

constexpr const char* kReadFooter =
    "Waits for the chip's ISP handshake and reads every page of the chosen banks, erasing and\n"
    "writing nothing. OUT ending in .bin gets the bytes laid out as the image (bank 1 at\n"
    "0x10000), or one bank's bytes alone; restore the latter with burn --bank N. .hex or .ihx\n"
    "gets Intel HEX (each bank under a type 04 record), which opens again as one file into\n"
    "the banks it came from. OUT is replaced only by a complete read: a failed or stopped\n"
    "one leaves it as it was.\n"
    "Ctrl-C, SIGTERM and SIGHUP stop the read. The profile is read for the defaults and never\n"
    "written.\n";

constexpr const char* kVerifyFooter =
    "Loads FILE (and FILE2) as burn does, waits for the chip's ISP handshake and reads back\n"
    "only the ranges a burn would write (or, with --checksum, asks for their page sums),\n"
    "erasing and writing nothing. Exit 0 when the chip holds the image, 1 when it differs.\n"
    "Ctrl-C, SIGTERM and SIGHUP stop it. The profile is read for the defaults and never\n"
    "written.\n";

constexpr const char* kMonitorFooter =
    "A serial terminal on the port: what the port sends goes to standard output. On a\n"
    "terminal, keys typed go to the port (Ctrl-C too) and Ctrl-] ends; otherwise standard\n"
    "input is sent as it comes. --baud takes any rate the driver does (default: BaudRate\n"
    "from the profile); one it refuses is a usage error.\n"
    "--expect ends as soon as TEXT has been received; --seconds bounds the run.\n"
    "Exit status: 0 when TEXT came (or none was asked for), 1 when it did not come in time\n"
    "or before Ctrl-], or the port could not be opened or was lost, 2 usage error, 130, 143,\n"
    "129 stopped by SIGINT (Ctrl-C when input is not a terminal), SIGTERM or SIGHUP.\n"
    "--json writes one event a line: {\"event\":\"monitor\"} as it begins, {\"event\":\"data\"}\n"
    "with \"seconds\" since then and \"text\" (or \"hex\" with --hex) for what arrived, and\n"
    "{\"event\":\"end\"} with \"ok\" and \"text\": expect passed, expect timed out, time is up,\n"
    "closed, ...\n";

constexpr std::uint32_t kMaxPulseMs = 60000;

// The rate's index in BaudRateTable.
const CLI::Validator kBaudRate(
    [](std::string& text) {
      for (int i = 0; i < 8; ++i) {
        if (text == std::to_string(BaudRateTable[i])) {
          text = std::to_string(i);
          return std::string();
        }
      }
      return "unknown baud rate '" + text +
             "' (4800, 9600, 14400, 19200, 28800, 38400, 57600 or 115200)";
    },
    "");

// COM1 to COM4 in any case, written as ComPortNames writes them.
const CLI::Validator kComName(
    [](std::string& text) {
      // An adapter named by its serial number may sit on any COM port; it is found at open.
      if (text.starts_with(kUsbSerialPrefix)) return std::string();
      for (const char* name : ComPortNames) {
        if (CLI::detail::to_lower(text) == CLI::detail::to_lower(name)) {
          text = name;
          return std::string();
        }
      }
      return "unknown port '" + text + "' (COM1 to COM4)";
    },
    "");

// --wait and --reset-timeout: a number of seconds above 0.
CLI::Validator PositiveSeconds(const std::string& option) {
  return CLI::Validator(
      [option](const std::string& text) {
        char* end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !(value > 0) || value > 1e6) {
          return option + " needs a number of seconds greater than 0, not '" + text + "'";
        }
        return std::string();
      },
      "");
}

const CLI::Validator kSeconds = PositiveSeconds("--wait");

// A rate in bit/s, any the driver may take; with zero_ok, 0 stands for a default.
CLI::Validator AnyRate(const std::string& option, bool zero_ok) {
  return CLI::Validator(
      [option, zero_ok](const std::string& text) {
        std::uint32_t rate = 0;
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), rate);
        if (text.empty() || error != std::errc() || end != text.data() + text.size() || (rate == 0 && !zero_ok)) {
          return option + " needs a rate in bit/s, a whole number above 0, not '" + text + "'";
        }
        return std::string();
      },
      "");
}

const CLI::Validator kResetLine(
    [](const std::string& text) {
      for (const char* name : {"dtr", "rts", "dtr-inverted", "rts-inverted"}) {
        if (text == name) return std::string();
      }
      return "--reset needs dtr, rts, dtr-inverted or rts-inverted, not '" + text + "'";
    },
    "");

const CLI::Validator kPulseMs(
    [](const std::string& text) {
      char* end = nullptr;
      const long value = std::strtol(text.c_str(), &end, 10);
      if (text.empty() || *end != '\0' || value < 1 || value > static_cast<long>(kMaxPulseMs)) {
        return "--reset-ms needs a number of milliseconds from 1 to 60000, not '" + text + "'";
      }
      return std::string();
    },
    "");

const CLI::Validator kCommandSeconds = PositiveSeconds("--reset-timeout");

void AddChipOption(CLI::App& command, std::optional<int>& chip_model) {
  const CLI::Validator chip(
      [](std::string& text) {
        if (const ChipSpec* named = ChipSpecNamed(text)) {
          text = std::to_string(named->model);
          return std::string();
        }
        return "unknown chip '" + text + "' (RM5164 or RM5168)";
      },
      "");
  command.add_option("--chip", chip_model, "chip model (default: ChipID from the profile)")
      ->type_name("RM5164|RM5168")
      ->transform(chip);
}

void AddLoadOptions(CLI::App& command, LoadOptions& options) {
  AddChipOption(command, options.chip_model);
  // 0xFF, 255, 0x00 and 0, with any number of leading zeros and either case.
  const CLI::Validator fill(
      [](std::string& text) {
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        const char* first = text.data() + (hex ? 2 : 0);
        const char* last = text.data() + text.size();
        unsigned value = 1;
        const auto [end, error] = std::from_chars(first, last, value, hex ? 16 : 10);
        if (first == last || error != std::errc() || end != last || (value != 0 && value != 255)) {
          return "unused bytes must be 0xFF or 0x00, not '" + text + "'";
        }
        text = std::to_string(value);
        return std::string();
      },
      "");
  command.add_option("--fill", options.fill_byte,
                     "value of bytes no file supplies (default: UnusedBytes from the profile)")
      ->type_name("0xFF|0x00")
      ->transform(fill);
  const CLI::Validator bank(
      [](std::string& text) {
        return text == "0" || text == "1" ? std::string() : "--bank must be 0 or 1, not '" + text + "'";
      },
      "");
  command.add_option("--bank", options.bank,
                     "RM5168: put the one FILE into this bank alone, as a backup made with read --bank")
      ->type_name("0|1")
      ->check(bank);
  command.add_flag("--json", options.json, "print JSON instead of text");
  command.add_option("FILE", options.files,
                     "the file to load; on the RM5168 FILE goes to bank 0 and FILE2 to bank 1")
      ->type_name("");
}

void AddResetOptions(CLI::App& command, ResetOptions& options) {
  command.add_option("--reset", options.line,
                     "after opening the port, pulse this modem line to reset or power the chip "
                     "(-inverted: the board takes the line as active when cleared)")
      ->type_name("dtr|rts|dtr-inverted|rts-inverted")
      ->check(kResetLine);
  command.add_option("--reset-ms", options.pulse_ms, "how long the --reset pulse lasts (default 100)")
      ->type_name("MS")
      ->check(kPulseMs);
  command.add_option("--reset-command", options.command,
                     "after opening the port, run CMD through the shell (to power the chip); "
                     "a failure ends the burn")
      ->type_name("CMD");
  command.add_option("--reset-timeout", options.command_timeout_seconds,
                     "end --reset-command and fail when it runs longer (default 10)")
      ->type_name("SECONDS")
      ->check(kCommandSeconds);
}

void AddPortOption(CLI::App& command, PortOptions& options) {
  // One value each time, so that --port never takes the files that follow.
  CLI::Option* port = command.add_option("--port", options.ports)
                          ->expected(1)
                          ->allow_extra_args(false)
                          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  if (kComNamesOnly) {
    port->type_name("COM1..COM4")->transform(kComName)->description(
        "the COM port (default: ComPort from the profile), or usb-serial:SERIAL for the USB "
        "adapter with that serial number (see 'rm516x-isp ports')");
  } else {
    port->type_name("DEVICE")->description(
        "the serial device, e.g. /dev/ttyUSB0, or usb-serial:SERIAL for the USB adapter with "
        "that serial number (required; see 'rm516x-isp ports')");
  }
}

void AddPortOptions(CLI::App& command, PortOptions& options) {
  AddPortOption(command, options);
  command.add_option("--baud", options.baud_index,
                     "4800, 9600, 14400, 19200, 28800, 38400, 57600 or 115200 "
                     "(default: BaudRate from the profile)")
      ->type_name("RATE")
      ->transform(kBaudRate);
  command.add_option("--wait", options.wait_seconds, "give up when no handshake comes within SECONDS")
      ->type_name("SECONDS")
      ->check(kSeconds);
  AddResetOptions(command, options.reset);
}

void AddRepeatOptions(CLI::App& command, RepeatOptions& options) {
  CLI::Option* repeat = command.add_flag(
      "--repeat", options.on,
      "after each burn, successful or not, wait for the next chip and burn it too, until "
      "--count chips or Ctrl-C");
  command.add_option("--count", options.count, "stop after N chips (default: until Ctrl-C)")
      ->type_name("N")
      ->check(CLI::Range(1, 100000000))
      ->needs(repeat);
  command.add_option("--gap-ms", options.gap_ms,
                     "start the next burn once the line has been silent for MS, the last "
                     "board removed (default 1000)")
      ->type_name("MS")
      ->check(CLI::Range(1, 3600000))
      ->needs(repeat);
  command.add_option("--log", options.log_path,
                     "append one JSON line per chip to FILE (time, port, chip, image "
                     "checksum, result, version, seconds)")
      ->type_name("FILE")
      ->needs(repeat);
}

// For burn, each needs --monitor.
void AddWatchOptions(CLI::App& command, WatchOptions& options, CLI::Option* needed) {
  const std::vector<CLI::Option*> added = {
      command.add_flag("--timestamps", options.timestamps,
                       "start each received line with the seconds since the monitor began"),
      command.add_flag("--hex", options.hex, "show the received bytes in hex, 16 a line"),
      command.add_option("--expect", options.expect,
                         "end with status 0 as soon as TEXT has been received")
          ->type_name("TEXT"),
      command.add_option("--seconds", options.seconds,
                         "end after SECONDS (status 1 when --expect's TEXT has not come)")
          ->type_name("SECONDS")
          ->check(PositiveSeconds("--seconds"))};
  if (needed != nullptr) {
    for (CLI::Option* option : added) option->needs(needed);
  }
}

CLI::App* AddInfoCommand(CLI::App& app, InfoOptions& options) {
  CLI::App* command =
      app.add_subcommand("info", "load files as the Open command does and show what would be burned");
  command->footer(kInfoFooter);
  AddLoadOptions(*command, options.load);
  command->add_option("--image-out", options.image_out,
                      "write the whole 131072-byte flash image to PATH")
      ->type_name("PATH");
  return command;
}

CLI::App* AddBurnCommand(CLI::App& app, BurnOptions& options) {
  CLI::App* command = app.add_subcommand("burn", "load files and burn them into the chip over a serial port");
  command->footer(kBurnFooter);
  AddLoadOptions(*command, options.load);
  AddPortOptions(*command, options.port);
  // The last of the two counts, so each is taken as the parser meets it.
  command->add_flag_callback("--verify", [&options] { options.verify = 1; },
                             "read every page back (default: Verify from the profile)")
      ->trigger_on_parse();
  command->add_flag_callback("--checksum", [&options] { options.verify = 0; },
                             "compare page checksums instead")
      ->trigger_on_parse();
  AddRepeatOptions(*command, options.repeat);
  // Given as --monitor=RATE or --monitor=0 (see ParseCommandLine), so never takes a file.
  CLI::Option* monitor =
      command->add_option("--monitor", options.monitor,
                          "after a successful burn, watch the port at RATE (default: the burn's) "
                          "as 'rm516x-isp monitor' does")
          ->type_name("[RATE]")
          ->check(AnyRate("--monitor", true));
  AddWatchOptions(*command, options.watch, monitor);
  return command;
}

CLI::App* AddMonitorCommand(CLI::App& app, MonitorOptions& options) {
  CLI::App* command = app.add_subcommand("monitor", "a serial terminal: watch what the port sends, type to it");
  command->footer(kMonitorFooter);
  AddPortOption(*command, options.port);
  command->add_option("--baud", options.rate, "the rate in bit/s, any the driver takes (default: BaudRate from the profile)")
      ->type_name("RATE")
      ->check(AnyRate("--baud", false));
  AddResetOptions(*command, options.port.reset);
  AddWatchOptions(*command, options.watch, nullptr);
  command->add_flag("--json", options.json, "print JSON events instead of the data as it comes");
  return command;
}

// burn's --monitor takes an optional RATE: a number right after it is the rate, anything else
// (a file) is not, so "--monitor RATE" becomes "--monitor=RATE" and a bare one "--monitor=0".
std::vector<std::string> WithMonitorRates(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  for (std::size_t i = 1; i < args.size() && args[i] != "--"; ++i) {
    if (args[i] != "--monitor") continue;
    const bool rate = i + 1 < args.size() && !args[i + 1].empty() &&
                      args[i + 1].find_first_not_of("0123456789") == std::string::npos;
    args[i] += "=" + (rate ? args[i + 1] : std::string("0"));
    if (rate) args.erase(args.begin() + static_cast<std::ptrdiff_t>(i) + 1);
  }
  return args;
}

CLI::App* AddPortsCommand(CLI::App& app, PortsOptions& options) {
  CLI::App* command = app.add_subcommand("ports", "list the serial devices that --port accepts");
  command->add_flag("--json", options.json, "one JSON object a line");
  command->footer(kPortsFooter);
  return command;
}

CLI::App* AddReadCommand(CLI::App& app, ReadOptions& options) {
  CLI::App* command = app.add_subcommand("read", "read the chip's flash into a file over a serial port");
  command->footer(kReadFooter);
  AddChipOption(*command, options.chip_model);
  AddPortOptions(*command, options.port);
  command->add_flag("--json", options.json, "print JSON instead of text");
  command->add_option("--bank", options.bank, "the banks to read (default: both; the RM5164 has bank 0 only)")
      ->type_name("0|1|both")
      ->check(CLI::IsMember({"0", "1", "both"}));
  command->add_option("-o,--output", options.out, "the file to write: .bin, .hex or .ihx")
      ->type_name("OUT")
      ->required();
  return command;
}

CLI::App* AddVerifyCommand(CLI::App& app, VerifyOptions& options) {
  CLI::App* command = app.add_subcommand("verify", "load files and compare them with the chip's flash");
  command->footer(kVerifyFooter);
  AddLoadOptions(*command, options.load);
  AddPortOptions(*command, options.port);
  command->add_flag("--checksum", options.checksum, "compare page sums instead of reading every byte");
  return command;
}

// The parser's own errors, in this program's words.
std::string UsageText(const CLI::App& app, const CLI::App& command, const CLI::ParseError& error) {
  const std::string text = error.what();
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&error)) {
    return "option " + text.substr(0, text.find(':')) + " needs a value";
  }
  // "--name: problem", where our validators' problems name the option already.
  if (dynamic_cast<const CLI::ValidationError*>(&error) && text.find(": ") != std::string::npos) {
    return text.substr(text.find(": ") + 2);
  }
  if (dynamic_cast<const CLI::ExtrasError*>(&error)) {
    // A command keeps what it did not take; what follows "--" after its files goes up to app.
    std::vector<std::string> extra = command.remaining();
    if (extra.empty()) extra = app.remaining();
    if (!extra.empty()) {
      const std::string& arg = extra.front();
      return (arg.size() > 1 && arg[0] == '-' ? "unknown option '" : "unexpected argument '") +
             arg + "'";
    }
  }
  return text;
}

}  // namespace

CommandLine ParseCommandLine(int argc, char** argv) {
  CLI::App app{kDescription, "rm516x-isp"};
  app.footer(kFooter);
  app.set_version_flag("--version", std::string("rm516x-isp ") + RM_VERSION);
  app.require_subcommand(1);
  InfoOptions info;
  BurnOptions burn;
  PortsOptions ports;
  ReadOptions read;
  VerifyOptions verify;
  MonitorOptions monitor;
  // In this order, as help lists them.
  const CLI::App* info_command = AddInfoCommand(app, info);
  const CLI::App* burn_command = AddBurnCommand(app, burn);
  const CLI::App* ports_command = AddPortsCommand(app, ports);
  const CLI::App* read_command = AddReadCommand(app, read);
  const CLI::App* verify_command = AddVerifyCommand(app, verify);
  const CLI::App* monitor_command = AddMonitorCommand(app, monitor);

  CommandLine line;
  try {
    std::vector<std::string> args = WithMonitorRates(argc, argv);
    if (!args.empty()) args.erase(args.begin());
    std::reverse(args.begin(), args.end());  // as the parser takes them
    app.parse(std::move(args));
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    line.exit_status = kExitOk;
    return line;
  } catch (const CLI::CallForVersion& version) {
    std::printf("%s\n", version.what());
    line.exit_status = kExitOk;
    return line;
  } catch (const CLI::ParseError& error) {
    const std::vector<CLI::App*> chosen = app.get_subcommands();
    if (!chosen.empty()) {
      line.exit_status = UsageError(chosen[0]->get_name(), UsageText(app, *chosen[0], error));
    } else if (!app.remaining().empty()) {
      line.exit_status = UsageError("", "unknown command '" + app.remaining()[0] + "'");
    } else {
      std::fputs(app.help().c_str(), stderr);
      line.exit_status = kExitUsage;
    }
    return line;
  }
  if (info_command->parsed()) {
    line.command = std::move(info);
  } else if (burn_command->parsed()) {
    line.command = std::move(burn);
  } else if (ports_command->parsed()) {
    line.command = std::move(ports);
  } else if (read_command->parsed()) {
    line.command = std::move(read);
  } else if (verify_command->parsed()) {
    line.command = std::move(verify);
  } else if (monitor_command->parsed()) {
    line.command = std::move(monitor);
  } else {
    line.exit_status = kExitUsage;
  }
  return line;
}
