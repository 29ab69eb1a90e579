#include "cli/load_options.h"

#include <cstdio>

#include "cli/json.h"
#include "image/file_open.h"
#include "shell/message_kind.h"

ProfileSettings ReadProfile() {
  ProfileSettings profile = ReadProfileSettings();
  if (!profile.warning.empty()) {
    std::fputs(FormatTerminalMessage(MessageWarning, profile.warning).c_str(), stderr);
    std::fflush(stderr);
  }
  return profile;
}

BankImage EmptyImage(const LoadOptions& options, const ProfileSettings& profile) {
  return BankImage(ChipSpecFor(options.chip_model.value_or(profile.chip_model)),
                   options.fill_byte.value_or(profile.fill_byte));
}

bool PrepareLoad(const LoadOptions& options, const ChipSpec& chip, std::string& error) {
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
  return true;
}

LoadReport RunLoad(const LoadOptions& options, BankImage& image, const MessageSink& tell) {
  const std::vector<std::string>& files = options.files;
  if (image.chip->banks == 1) return OpenOneFile(image, files[0], PlaceBank0, tell);
  if (options.bank) return OpenOneFile(image, files[0], *options.bank == 0 ? PlaceBank0 : PlaceBank1, tell);
  if (files.size() == 1) return OpenOneFile(image, files[0], PlaceBothBanks, tell);
  return OpenFilesOnePerBank(image, files[0], files[1], tell);
}

std::string LoadReportText(const LoadReport& report) {
  char checksum[32];
  std::snprintf(checksum, sizeof checksum, "CheckSum = %.4X",
                static_cast<unsigned>(report.image_checksum));
  return report.title + "\n" + BankSizeText(0, report.bank0_bytes) + "\n" +
         BankSizeText(1, report.bank1_bytes) + "\n" + checksum + "\n";
}

std::string LoadReportJsonMembers(const LoadReport& report, const BankImage& image) {
  Json messages = Json::array();
  for (const LoadMessage& message : report.messages) {
    messages.push_back({{"kind", message.kind == LoadWarning ? "warning" : "error"},
                        {"text", message.text}});
  }
  const Json members = {{"chip", image.chip->name},
                       {"fill", image.fill & 0xFF},
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
    if (message.kind == LoadError) text = message.text;
  }
  return text;
}

}  // namespace

bool LoadForSession(const LoadOptions& load, BankImage& image, Output& output, LoadedImage& loaded) {
  const LoadReport report = RunLoad(load, image, [&output](const LoadMessage& message) {
    output.RunMessage(message.kind == LoadWarning ? MessageWarning : MessageError, message.text);
  });
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
  loaded.plan = PlanFor(image.bytes.data(), image.chip->page_bytes, image.bank_bytes[0], image.bank_bytes[1]);
  loaded.image_checksum = report.image_checksum;
  return true;
}
