#pragma once
// The eight user settings kept in the profile section "RM516X_ISP": read as values, written
// key by key.
#include <string>

inline constexpr const char* kProfileSection = "RM516X_ISP";
inline constexpr std::size_t kProfileValueMaxChars = 255;

// The eight keys as read: a missing, non-numeric or out-of-range value takes its default.
struct ProfileSettings {
  std::string file_name1;  // OpenFileName1
  std::string file_name2;  // OpenFileName2
  std::string open_path;   // OpenFilePath
  int baud_index = 6;      // BaudRate, 0..7
  int com_port = 0;        // ComPort, 0..3
  int chip_model = 0;      // ChipID, 0 or 1
  int fill_byte = 255;     // UnusedBytes: any number; only its low 8 bits reach the image
  int verify = 1;          // Verify, 0 or 1
  // Why the stored profile was ignored, for the front end to show once; "" when it was read
  // (or there is none). Every key then holds its default.
  std::string warning;
};

// Reads every key in order. No profile writes.
ProfileSettings ReadProfileSettings();

// Writes one key of the section: text as it stands, integers as "%d".
void WriteSetting(const char* key, const std::string& value);
void WriteSetting(const char* key, int value);
