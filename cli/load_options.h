#pragma once
// What every command that loads files shares: the load of FILE [FILE2], done exactly as the
// GUI's Open does it. The profile is read for the defaults and never written.
#include <string>

#include "cli/options.h"
#include "image/load_report.h"

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
