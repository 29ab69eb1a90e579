#include "app/profile_settings.h"

#include "app/shell.h"

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
