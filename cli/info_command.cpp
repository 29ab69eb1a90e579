// rm516x-isp info: load files as the Open command does and show what would be burned.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/terminal_shell.h"
#include "image/bank_image.h"
#include "shell/shell.h"

namespace {

constexpr const char* kInfoFooter =
    "Loads FILE (and FILE2) into the flash image as the Open command does and shows what\n"
    "would be burned: the title, the bank sizes and the image checksum.\n"
    "The RM5164 takes one FILE. The RM5168 lays one FILE over both banks, or puts FILE\n"
    "into bank 0 and FILE2 into bank 1.\n"
    "The profile is read for the defaults and never written.\n";

struct InfoOptions {
  LoadOptions load;
  std::string image_out;
};

// Writes every byte of FirmwareImage; a failure becomes an error message of the load's.
bool WriteImage(const std::string& path, LoadReport& report) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (out) {
    out.write(reinterpret_cast<const char*>(FirmwareImage), sizeof FirmwareImage);
    out.close();
  }
  if (!out) {
    const int code = errno;
    const std::string text =
        "cannot write " + path + (code ? std::string(": ") + std::strerror(code) : "");
    report.messages.push_back({MessageError, text});
    ShowMessage(MainWindowHandle(), text, MessageError);
    return false;
  }
  return true;
}

int RunInfo(const InfoOptions& options) {
  std::string error;
  if (!PrepareLoad(options.load, error)) return UsageError("info", error);

  SetTerminalEcho(!options.load.json);
  LoadReport report = RunLoad(options.load);
  const bool image_written = options.image_out.empty() || WriteImage(options.image_out, report);

  if (options.load.json) {
    std::printf("{%s}\n", LoadReportJsonMembers(report).c_str());
  } else {
    std::fputs(LoadReportText(report).c_str(), stdout);
  }
  return report.file_state != 0 && image_written ? kExitOk : kExitFailed;
}

}  // namespace

CommandRun AddInfoCommand(CLI::App& app) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* command =
      app.add_subcommand("info", "load files as the Open command does and show what would be burned");
  command->footer(kInfoFooter);
  AddLoadOptions(*command, options->load);
  command->add_option("--image-out", options->image_out,
                      "write the whole 131072-byte flash image to PATH")
      ->type_name("PATH");
  return [options] { return RunInfo(*options); };
}
