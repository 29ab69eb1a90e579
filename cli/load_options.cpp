#include "cli/load_options.h"

#include <cstdio>

#include "cli/json.h"
#include "cli/terminal_shell.h"
#include "image/bank_image.h"
#include "image/file_open.h"
#include "settings/settings.h"

namespace {

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::optional<int> ParseChip(const std::string& text) {
  if (EqualsIgnoringCase(text, "RM5164")) return 0;
  if (EqualsIgnoringCase(text, "RM5168")) return 1;
  return std::nullopt;
}

// 0xFF, 255, 0x00 and 0 (any number of digits, either case); nothing else.
std::optional<int> ParseFill(const std::string& text) {
  std::size_t start = 0;
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    start = 2;
    base = 16;
  }
  if (start == text.size() || text.size() - start > 8) return std::nullopt;
  long value = 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return std::nullopt;
    value = value * base + digit;
  }
  if (value == 255 || value == 0) return static_cast<int>(value);
  return std::nullopt;
}

}  // namespace

bool TakeOptionValue(const std::vector<std::string>& args, std::size_t& index,
                     const std::string& name, std::string& value, std::string& error,
                     bool& bad) {
  const std::string& arg = args[index];
  if (arg == name) {
    if (index + 1 >= args.size()) {
      error = "option " + name + " needs a value";
      bad = true;
      return false;
    }
    value = args[index + 1];
    index += 2;
    return true;
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
      arg[name.size()] == '=') {
    value = arg.substr(name.size() + 1);
    index += 1;
    return true;
  }
  return false;
}

OptionResult TakeLoadOption(const std::vector<std::string>& args, std::size_t& index,
                            LoadOptions& options, std::string& error) {
  const std::string& arg = args[index];
  if (options.options_ended || arg == "-" || arg.empty() || arg[0] != '-') {
    options.files.push_back(arg);
    ++index;
    return OptionTaken;
  }
  if (arg == "--") {
    options.options_ended = true;
    ++index;
    return OptionTaken;
  }
  if (arg == "--json") {
    options.json = true;
    ++index;
    return OptionTaken;
  }
  std::string value;
  bool bad = false;
  if (TakeOptionValue(args, index, "--chip", value, error, bad)) {
    options.chip_model = ParseChip(value);
    if (!options.chip_model) {
      error = "unknown chip '" + value + "' (RM5164 or RM5168)";
      return OptionBad;
    }
    return OptionTaken;
  }
  if (!bad && TakeOptionValue(args, index, "--fill", value, error, bad)) {
    options.fill_byte = ParseFill(value);
    if (!options.fill_byte) {
      error = "unused bytes must be 0xFF or 0x00, not '" + value + "'";
      return OptionBad;
    }
    return OptionTaken;
  }
  return bad ? OptionBad : OptionNotMine;
}

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
  // Not SelectChip and SelectFillByte: they would write the profile.
  UseChipModel(model);
  if (options.fill_byte) FillByte = *options.fill_byte;
  FileName1 = options.files[0];
  FileName2 = options.files.size() > 1 ? options.files[1] : std::string();
  FileState = 0;
  FillImage();
  return true;
}

int RunLoad(const LoadOptions& options) {
  if (ChipModel == 0) {
    OpenSingleFile(MainWindowHandle());
  } else if (options.files.size() == 1) {
    OpenFileOverBothBanks(MainWindowHandle());
  } else {
    OpenFilesOnePerBank(MainWindowHandle());
  }
  return FileState;
}

std::string LoadReportText() {
  char checksum[32];
  std::snprintf(checksum, sizeof checksum, "CheckSum = %.4X", static_cast<unsigned>(ImageChecksum));
  return TerminalTitle() + "\n" + TerminalStatus(2) + "\n" + TerminalStatus(3) + "\n" +
         checksum + "\n";
}

std::string LoadReportJsonMembers(const LoadOptions& options) {
  std::string out;
  out += "\"chip\":" + JsonString(ChipName(ChipModel));
  out += ",\"fill\":" + std::to_string(FillByte & 0xFF);
  out += ",\"file_state\":" + std::to_string(FileState);
  out += ",\"files\":[";
  for (std::size_t i = 0; i < options.files.size(); ++i) {
    if (i) out += ',';
    out += JsonString(options.files[i]);
  }
  out += "],\"bank0_size\":" + std::to_string(Bank0Size.load());
  out += ",\"bank1_size\":" + std::to_string(Bank1Size.load());
  out += ",\"image_checksum\":" + std::to_string(ImageChecksum);
  out += ",\"burn_sum\":" + std::to_string(BurnSum());
  out += ",\"messages\":[";
  bool first = true;
  for (const TerminalMessage& message : TerminalMessages()) {
    if (!first) out += ',';
    first = false;
    out += "{\"kind\":";
    out += JsonString(message.kind == MessageWarning ? "warning" : "error");
    out += ",\"text\":" + JsonString(message.text) + "}";
  }
  out += ']';
  return out;
}
