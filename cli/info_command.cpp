// rm516x-isp info: load files as the Open command does and show what would be burned.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/terminal_shell.h"
#include "image/bank_image.h"
#include "shell/shell.h"

namespace {

constexpr const char* kInfoUsage =
    "usage: rm516x-isp info [--chip RM5164|RM5168] [--fill 0xFF|0x00] [--json] "
    "[--image-out PATH] FILE [FILE2]\n";

constexpr const char* kInfoHelp =
    "Loads FILE (and FILE2) into the flash image as the Open command does and shows what\n"
    "would be burned: the title, the bank sizes and the image checksum.\n"
    "\n"
    "The RM5164 takes one FILE. The RM5168 lays one FILE over both banks, or puts FILE\n"
    "into bank 0 and FILE2 into bank 1.\n"
    "\n"
    "Options:\n"
    "%s"
    "  --image-out PATH      write the whole 131072-byte flash image to PATH\n"
    "  -h, --help            print this help\n"
    "\n"
    "The profile is read for the defaults and never written.\n"
    "Exit status: 0 when a file was placed, 1 when the load failed, 2 for a usage error.\n";

// Writes every byte of FirmwareImage; a failure becomes an error message like the load's.
bool WriteImage(const std::string& path) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(reinterpret_cast<const char*>(FirmwareImage), sizeof FirmwareImage);
    out.close();
  }
  if (!out) {
    const int code = errno;
    ShowMessage(MainWindowHandle(),
                "cannot write " + path + (code ? std::string(": ") + std::strerror(code) : ""),
                MessageError);
    return false;
  }
  return true;
}

}  // namespace

int RunInfo(const CommandArgs& args) {
  LoadOptions options;
  std::string image_out;
  std::string error;
  for (std::size_t i = 0; i < args.size();) {
    const std::string& arg = args[i];
    if (!options.options_ended && (arg == "-h" || arg == "--help")) {
      std::fputs(kInfoUsage, stdout);
      std::printf(kInfoHelp, kLoadOptionsHelp);
      return 0;
    }
    const OptionResult taken = TakeLoadOption(args, i, options, error);
    if (taken == OptionBad) return UsageError("info", error);
    if (taken == OptionTaken) continue;
    bool bad = false;
    if (TakeOptionValue(args, i, "--image-out", image_out, error, bad)) continue;
    if (bad) return UsageError("info", error);
    return UsageError("info", "unknown option '" + arg + "'");
  }
  if (!PrepareLoad(options, error)) return UsageError("info", error);

  SetTerminalEcho(!options.json);
  const int file_state = RunLoad(options);
  const bool image_written = image_out.empty() || WriteImage(image_out);

  if (options.json) {
    std::printf("{%s}\n", LoadReportJsonMembers(options).c_str());
  } else {
    std::fputs(LoadReportText().c_str(), stdout);
  }
  return file_state != 0 && image_written ? 0 : 1;
}
