// rm516x-isp info: load files as the Open command does and show what would be burned.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/replace_file.h"
#include "cli/terminal_shell.h"
#include "image/global_image.h"
#include "shell/shell.h"

namespace {

// Writes every byte of FirmwareImage; a failure becomes an error message of the load's.
bool WriteImage(const std::string& path, LoadReport& report) {
  const std::string bytes(reinterpret_cast<const char*>(FirmwareImage), sizeof FirmwareImage);
  std::string text;
  if (ReplaceWhole(path, bytes, text)) return true;
  report.messages.push_back({LoadError, text});
  ShowMessage(MainWindowHandle(), text, MessageError);
  return false;
}

}  // namespace

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
