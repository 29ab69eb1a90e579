#include "settings/settings.h"

#include "settings/profile.h"

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
  settings.warning = ProfileProblem();
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

void WriteSetting(const char* key, const std::string& value) {
  ProfileWriteString(kProfileSection, key, value);
}

void WriteSetting(const char* key, int value) {
  WriteSetting(key, std::to_string(value));
}
