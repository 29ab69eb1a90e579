#include "settings/settings.h"

#include "settings/profile.h"
#include "shell/shell.h"

std::string FileName1;
std::string FileName2;
std::string OpenPath = ".";
int BaudRateIndex = 6;
int ComPortIndex = 0;
int ChipModel = 0;
int FillByte = 255;
std::atomic<int> VerifyAfterBurn{1};
// The RM5164's until the model is read.
std::atomic<std::uint32_t> PageSize{kRm5164.page_bytes};

namespace {

// A value the rest of the program cannot index with or compare against takes the default.
int ReadRangedSetting(const char* key, int fallback, int lowest, int highest) {
  bool is_number = true;
  int value = ProfileReadInt(kProfileSection, key, fallback, &is_number);
  if (!is_number || value < lowest || value > highest) return fallback;
  return value;
}

std::string ReadTextSetting(const char* key, const char* fallback) {
  return ProfileReadString(kProfileSection, key, fallback, kProfileValueMaxChars);
}

}  // namespace

ProfileSettings ReadProfileSettings() {
  ProfileSettings settings;
  settings.file_name1 = ReadTextSetting("OpenFileName1", "");
  settings.file_name2 = ReadTextSetting("OpenFileName2", "");
  settings.open_path = ReadTextSetting("OpenFilePath", ".");
  settings.baud_index = ReadRangedSetting("BaudRate", 6, 0, 7);
  settings.com_port = ReadRangedSetting("ComPort", 0, 0, 3);
  settings.chip_model = ReadRangedSetting("ChipID", 0, 0, 1);
  // Any number is kept: only its low 8 bits reach the image.
  bool is_number = true;
  settings.fill_byte = ProfileReadInt(kProfileSection, "UnusedBytes", 255, &is_number);
  if (!is_number) settings.fill_byte = 255;
  settings.verify = ReadRangedSetting("Verify", 1, 0, 1);
  return settings;
}

void LoadSettings() {
  const ProfileSettings settings = ReadProfileSettings();
  FileName1 = settings.file_name1;
  FileName2 = settings.file_name2;
  OpenPath = settings.open_path;
  BaudRateIndex = settings.baud_index;
  ComPortIndex = settings.com_port;
  UseChipModel(settings.chip_model);
  FillByte = settings.fill_byte;
  VerifyAfterBurn = settings.verify;
  // The port names and rates are constant tables of the serial module: nothing to set up.
}

void UseChipModel(int model) {
  const ChipSpec& chip = ChipSpecFor(model);
  ChipModel = chip.model;
  PageSize = chip.page_bytes;
}

bool SelectChip(int model) {
  const int previous = ChipModel;
  UseChipModel(model);
  WriteSetting("ChipID", ChipModel);
  ShowChip(ChipModel);
  return ChipModel != previous;
}

void SelectFillByte(int value) {
  FillByte = value;
  WriteSetting("UnusedBytes", value);
}

void WriteSetting(const char* key, const std::string& value) {
  ProfileWriteString(kProfileSection, key, value);
}

void WriteSetting(const char* key, int value) {
  WriteSetting(key, std::to_string(value));
}
