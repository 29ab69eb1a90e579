// rm516x-isp info: load files as the Open command does and show what would be burned.
#include <cstdio>
#include <memory>

#include <CLI/CLI.hpp>

#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/replace_file.h"
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
  const std::string bytes(reinterpret_cast<const char*>(FirmwareImage), sizeof FirmwareImage);
  std::string text;
  if (ReplaceWhole(path, bytes, text)) return true;
  report.messages.push_back({MessageError, text});
  ShowMessage(MainWindowHandle(), text, MessageError);
  return false;
}

int RunInfo(const InfoOptions& options) {
  std::string error;
  if (!PrepareLoad(options.load, error)) return UsageError("info", error);
  for (const std::string& file : options.load.files) {
    if (!options.image_out.empty() && SameFile(options.image_out, file)) {
      return UsageError("info", "--image-out " + options.image_out + " is also an input file");
    }
  }

  SetTerminalEcho(!options.load.json);
  LoadReport report = RunLoad(options.load);
  // An image that did not load is only fill: it must not replace what the path holds.
  const bool image_written =
      options.image_out.empty() || (report.file_state != 0 && WriteImage(options.image_out, report));

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
