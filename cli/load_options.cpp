#include "cli/load_options.h"

#include <cstdio>

#include "cli/json.h"
#include "cli/terminal_shell.h"
#include "image/global_image.h"
#include "settings/settings.h"

bool PrepareLoad(const LoadOptions& options, std::string& error) {
  LoadSettings();
  const ChipSpec& chip = ChipSpecFor(options.chip_model.value_or(ChipModel));
  const std::size_t max_files = static_cast<std::size_t>(chip.banks);  // one file per bank
  if (options.files.empty()) {
    error = "no file given";
    return false;
  }
  if (options.files.size() > max_files) {
    error = std::string(chip.name) + " takes " +
            (max_files == 1 ? "one file" : "one or two files") + ", not " +
            std::to_string(options.files.size());
    return false;
  }
  if (options.bank && options.files.size() != 1) {
    error = "--bank takes one file, not " + std::to_string(options.files.size());
    return false;
  }
  if (options.bank.value_or(0) >= chip.banks) {
    error = std::string("the ") + chip.name + " has bank 0 only";
    return false;
  }
  // Not SelectChip and SelectFillByte: they would write the profile.
  UseChipModel(chip.model);
  if (options.fill_byte) FillByte = *options.fill_byte;
  FileName1 = options.files[0];
  FileName2 = options.files.size() > 1 ? options.files[1] : std::string();
  FileState = 0;
  FillImage();
  return true;
}

LoadReport RunLoad(const LoadOptions& options) {
  if (ChosenChip().banks == 1) return OpenSingleFile(MainWindowHandle());
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
    messages.push_back({{"kind", message.kind == LoadWarning ? "warning" : "error"},
                        {"text", message.text}});
  }
  const Json members = {{"chip", ChosenChip().name},
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
