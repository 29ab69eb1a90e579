#pragma once
// What every command that loads files shares: the options --chip, --fill, --json and the
// FILE [FILE2] operands, and the load itself, done exactly as the GUI's Open does it. The
// profile is read for the defaults and never written.
#include <optional>
#include <string>
#include <vector>

struct LoadOptions {
  std::optional<int> chip_model;  // --chip: 0 RM5164, 1 RM5168; otherwise the profile's ChipID
  std::optional<int> fill_byte;   // --fill: 255 or 0; otherwise the profile's UnusedBytes
  bool json = false;              // --json
  bool options_ended = false;     // after "--" every argument is a file
  std::vector<std::string> files;
};

enum OptionResult : int {
  OptionTaken = 0,   // the argument (and its value) was used; the index points past it
  OptionNotMine = 1, // an option the caller may know; the index is unchanged
  OptionBad = 2,     // usage error, described in the error text
};

// The usage line of the load options, for the commands' own usage texts.
inline constexpr const char* kLoadOptionsUsage =
    "[--chip RM5164|RM5168] [--fill 0xFF|0x00] [--json]";

// Their help lines.
inline constexpr const char* kLoadOptionsHelp =
    "  --chip RM5164|RM5168  chip model (default: ChipID from the profile)\n"
    "  --fill 0xFF|0x00      value of bytes no file supplies (default: UnusedBytes)\n"
    "  --json                print one JSON object instead of text\n";

// Tries args[index] as --chip, --fill, --json, "--" or a FILE operand.
OptionResult TakeLoadOption(const std::vector<std::string>& args, std::size_t& index,
                            LoadOptions& options, std::string& error);

// For the value of "--name VALUE" or "--name=VALUE": true (value set, index past it) when
// args[index] is that option, false when it is not. A missing value is a usage error.
bool TakeOptionValue(const std::vector<std::string>& args, std::size_t& index,
                     const std::string& name, std::string& value, std::string& error,
                     bool& bad);

// "RM5164" or "RM5168".
const char* ChipName(int model);

// Reads the profile (LoadSettings, no writes), then sets the model, the fill value and the
// file names from the options and refills the image for that model. Returns false, with a
// usage error in error, when the number of files does not suit the model.
bool PrepareLoad(const LoadOptions& options, std::string& error);

// The open sequence for the model: RM5164 one file into bank 0; RM5168 one file over both
// banks or two files, one per bank. Failures arrive through ShowMessage. Returns FileState.
int RunLoad(const LoadOptions& options);

// The lines the user would see in the main window: the title, "BANK0 : %d byte(s)",
// "BANK1 : %d byte(s)", "CheckSum = %.4X", each ending in a line break.
std::string LoadReportText();

// The result of the load as JSON members (no braces): chip, fill, file_state, files,
// bank0_size, bank1_size, image_checksum, burn_sum, messages.
std::string LoadReportJsonMembers(const LoadOptions& options);
