#include "cli/load_options.h"

#include <cstdio>

#include "cli/json.h"
#include "cli/terminal_shell.h"
#include "image/bank_image.h"
#include "image/file_open.h"
#include "isp/burn_worker.h"
#include "settings/settings.h"

const char* ChipName(int model) { return model == 0 ? "RM5164" : "RM5168"; }

bool PrepareLoad(const LoadOptions& options, std::string& error) {
  LoadSettings();
  const int model = options.chip_model.value_or(ChipModel == 0 ? 0 : 1);
  const std::size_t max_files = model == 0 ? 1 : 2;
  if (options.files.empty()) {
    error = "no file given";
    return false;
  }
  if (options.files.size() > max_files) {
    error = std::string(ChipName(model)) + " takes " +
            (max_files == 1 ? "one file" : "one or two files") + ", not " +
            std::to_string(options.files.size());
    return false;
  }
  if (options.bank && options.files.size() != 1) {
    error = "--bank takes one file, not " + std::to_string(options.files.size());
    return false;
  }
  if (model == 0 && options.bank.value_or(0) != 0) {
    error = "the RM5164 has bank 0 only";
    return false;
  }
  // Not SelectChip and SelectFillByte: they would write the profile.
  UseChipModel(model);
  if (options.fill_byte) FillByte = *options.fill_byte;
  FileName1 = options.files[0];
  FileName2 = options.files.size() > 1 ? options.files[1] : std::string();
  FileState = 0;
  FillImage();
  return true;
}

LoadReport RunLoad(const LoadOptions& options) {
  if (ChipModel == 0) return OpenSingleFile(MainWindowHandle());
  if (options.bank) return OpenOneFile(MainWindowHandle(), *options.bank == 0 ? PlaceBank0 : PlaceBank1);
  if (options.files.size() == 1) return OpenFileOverBothBanks(MainWindowHandle());
  return OpenFilesOnePerBank(MainWindowHandle());
}

std::string LoadReportText(const LoadReport& report) {
  char checksum[32];
  std::snprintf(checksum, sizeof checksum, "CheckSum = %.4X",
                static_cast<unsigned>(report.image_checksum));
  return report.title + "\n" + BankSizeText(0, report.bank0_bytes) + "\n" +
         BankSizeText(1, report.bank1_bytes) + "\n" + checksum + "\n";
}

std::string LoadReportJsonMembers(const LoadReport& report) {
  Json messages = Json::array();
  for (const LoadMessage& message : report.messages) {
    messages.push_back({{"kind", message.kind == MessageWarning ? "warning" : "error"},
                        {"text", message.text}});
  }
  const Json members = {{"chip", ChipName(ChipModel)},
                       {"fill", FillByte & 0xFF},
                       {"file_state", report.file_state},
                       {"files", report.files},
                       {"bank0_size", report.bank0_bytes},
                       {"bank1_size", report.bank1_bytes},
                       {"image_checksum", report.image_checksum},
                       {"burn_sum", report.burn_sum},
                       {"messages", messages}};
  // Members only, without the braces: a command may add its own around them.
  const std::string object = JsonDump(members);
  return object.substr(1, object.size() - 2);
}

namespace {

// Why a load placed nothing, in the words of its last error.
std::string LoadFailureText(const LoadReport& report) {
  std::string text = "nothing was loaded";
  for (const LoadMessage& message : report.messages) {
    if (message.kind == MessageError) text = message.text;
  }
  return text;
}

}  // namespace

bool LoadForSession(const LoadOptions& load, Output& output, LoadedImage& loaded) {
  // The load's messages are told here, in the run's output, not by the shell.
  SetTerminalEcho(false);
  const LoadReport report = RunLoad(load);
  for (const LoadMessage& message : report.messages) output.RunMessage(message.kind, message.text);
  if (report.file_state == 0) {
    if (load.json) {
      const std::string reason = LoadFailureText(report);
      output.End(false, reason, reason);
    }
    return false;
  }
  if (!load.json) {
    const std::string text = LoadReportText(report);
    output.Line(text.substr(0, text.size() - 1));
  }
  loaded.plan = CurrentBurnPlan();
  loaded.image_checksum = report.image_checksum;
  return true;
}
