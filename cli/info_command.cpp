// rm516x-isp info: load files as the Open command does and show what would be burned.
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/load_options.h"
#include "cli/output.h"
#include "shell/message_kind.h"
#include "cli/replace_file.h"

namespace {

void TellMessage(const LoadMessage& message) {
  std::fputs(FormatTerminalMessage(message.kind == LoadWarning ? MessageWarning : MessageError, message.text).c_str(),
             stderr);
  std::fflush(stderr);
}

// Writes every byte of the image; a failure becomes an error message of the load's.
bool WriteImage(const std::string& path, const BankImage& image, LoadReport& report, bool json) {
  const std::string bytes(image.bytes.begin(), image.bytes.end());
  std::string text;
  if (ReplaceWhole(path, bytes, text)) return true;
  report.messages.push_back({LoadError, text});
  if (!json) TellMessage(report.messages.back());
  return false;
}

}  // namespace

int RunInfo(const InfoOptions& options) {
  std::string error;
  BankImage image = EmptyImage(options.load, ReadProfile());
  if (!PrepareLoad(options.load, *image.chip, error)) return UsageError("info", error);
  for (const std::string& file : options.load.files) {
    if (!options.image_out.empty() && SameFile(options.image_out, file)) {
      return UsageError("info", "--image-out " + options.image_out + " is also an input file");
    }
  }

  const bool json = options.load.json;
  LoadReport report = RunLoad(options.load, image, json ? MessageSink{} : TellMessage);
  // An image that did not load is only fill: it must not replace what the path holds.
  const bool image_written =
      options.image_out.empty() || (report.file_state != 0 && WriteImage(options.image_out, image, report, json));

  if (json) {
    std::printf("{%s}\n", LoadReportJsonMembers(report, image).c_str());
  } else {
    std::fputs(LoadReportText(report).c_str(), stdout);
  }
  return report.file_state != 0 && image_written ? kExitOk : kExitFailed;
}
