#pragma once
// What every command that loads files shares: the load of FILE [FILE2], done exactly as the
// GUI's Open does it. The profile gives the defaults and is never written.
#include <string>

#include "cli/options.h"
#include "cli/output.h"
#include "image/bank_image.h"
#include "image/load_report.h"
#include "isp/protocol.h"
#include "settings/settings.h"

// The profile's settings; a profile that cannot be read is said on standard error once, and
// every key takes its default.
ProfileSettings ReadProfile();

// An empty image for the chip and fill of the options, else of the profile.
BankImage EmptyImage(const LoadOptions& options, const ProfileSettings& profile);

// False, with a usage error in error, when the number of files or --bank does not suit chip.
bool PrepareLoad(const LoadOptions& options, const ChipSpec& chip, std::string& error);

// The open sequence for the image's chip: RM5164 one file into bank 0; RM5168 one file over
// both banks (or with --bank into that bank alone) or two files, one per bank. Each message
// goes to tell (if any) as it arises, and into the report.
LoadReport RunLoad(const LoadOptions& options, BankImage& image, const MessageSink& tell = {});

// The lines the user would see in the main window: the title, "BANK0 : %d byte(s)",
// "BANK1 : %d byte(s)", "CheckSum = %.4X", each ending in a line break.
std::string LoadReportText(const LoadReport& report);

// The load as JSON members (no braces): chip, fill, file_state, files, bank0_size,
// bank1_size, image_checksum, burn_sum, messages.
std::string LoadReportJsonMembers(const LoadReport& report, const BankImage& image);

// What a session burns or compares with, once the load is done: the plan points into image.
struct LoadedImage {
  BurnPlan plan{};
  std::uint32_t image_checksum = 0;
};

// Before a command that burns or compares files: the load into image, its messages and its
// report printed. False when nothing was placed; the failure has been told (and ended, with
// --json).
bool LoadForSession(const LoadOptions& load, BankImage& image, Output& output, LoadedImage& loaded);
