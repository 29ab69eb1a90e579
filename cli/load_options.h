#pragma once
// What every command that loads files shares: the options --chip, --fill, --json and the
// FILE [FILE2] operands, and the load itself, done exactly as the GUI's Open does it. The
// profile is read for the defaults and never written.
#include <optional>
#include <string>
#include <vector>

#include "image/load_report.h"

namespace CLI {
class App;
}

struct LoadOptions {
  std::optional<int> chip_model;  // --chip: 0 RM5164, 1 RM5168; otherwise the profile's ChipID
  std::optional<int> fill_byte;   // --fill: 255 or 0; otherwise the profile's UnusedBytes
  std::optional<int> bank;        // --bank: one file into bank 0 or 1 alone
  bool json = false;              // --json
  std::vector<std::string> files;
};

// Adds --chip alone (RM5164 or RM5168, any case) for chip_model.
void AddChipOption(CLI::App& command, std::optional<int>& chip_model);

// Adds --chip, --fill, --bank, --json and the FILE [FILE2] operands to a command; their values
// land in options, which must outlive the parse.
void AddLoadOptions(CLI::App& command, LoadOptions& options);

// "RM5164" or "RM5168".
const char* ChipName(int model);

// Reads the profile (LoadSettings, no writes), then sets the model, the fill value and the
// file names from the options and refills the image for that model. Returns false, with a
// usage error in error, when the number of files or --bank does not suit the model.
bool PrepareLoad(const LoadOptions& options, std::string& error);

// The open sequence for the model: RM5164 one file into bank 0; RM5168 one file over both
// banks (or with --bank into that bank alone) or two files, one per bank. Failures arrive through ShowMessage and the report.
LoadReport RunLoad(const LoadOptions& options);

// The lines the user would see in the main window: the title, "BANK0 : %d byte(s)",
// "BANK1 : %d byte(s)", "CheckSum = %.4X", each ending in a line break.
std::string LoadReportText(const LoadReport& report);

// The load as JSON members (no braces): chip, fill, file_state, files, bank0_size,
// bank1_size, image_checksum, burn_sum, messages.
std::string LoadReportJsonMembers(const LoadReport& report);
