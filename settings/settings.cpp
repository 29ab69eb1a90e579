#include "settings/settings.h"

#include "image/bank_image.h"
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

void LoadSettings() {
  FileName1 = ReadTextSetting("OpenFileName1", "");
  FileName2 = ReadTextSetting("OpenFileName2", "");
  OpenPath = ReadTextSetting("OpenFilePath", ".");
  BaudRateIndex = ReadRangedSetting("BaudRate", 6, 0, 7);
  ComPortIndex = ReadRangedSetting("ComPort", 0, 0, 3);
  ChipModel = ReadRangedSetting("ChipID", 0, 0, 1);
  // Any number is kept: only its low 8 bits reach the image.
  bool is_number = true;
  FillByte = ProfileReadInt(kProfileSection, "UnusedBytes", 255, &is_number);
  if (!is_number) FillByte = 255;
  VerifyAfterBurn = ReadRangedSetting("Verify", 1, 0, 1);
  // The port names and rates are constant tables of the serial module: nothing to set up.
  Bank0Size = 0;
  Bank1Size = 0;
  PageSize = PageSizeForModel(ChipModel);
  ImageSize = ImageSizeForModel(ChipModel);
  FillImage();
}

void SelectChip(int model) {
  model = model != 0 ? 1 : 0;
  const bool changed = model != ChipModel;
  if (changed) FileState = 0;
  ChipModel = model;
  WriteSetting("ChipID", model);
  SetStatusText(0, model == 0 ? "RM5164" : "RM5168");
  if (!changed) {
    InvalidateMainWindow();
    return;
  }
  // An image laid out for the other chip must never reach a burn: empty it, sized for the
  // new model. The sizes go to 0 first so the old layout cannot raise a size warning.
  PageSize = PageSizeForModel(model);
  ImageSize = ImageSizeForModel(model);
  ResetImage();
  RefreshAfterLoad(MainWindowHandle());  // title, bank sizes, checksum, repaint
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
