#pragma once
// The eight user settings kept in the profile section "RM516X_ISP", read once at start-up
// and written through key by key when the user changes a value.
#include <atomic>
#include <string>

inline constexpr const char* kProfileSection = "RM516X_ISP";
inline constexpr std::size_t kProfileValueMaxChars = 255;

extern std::string FileName1;   // OpenFileName1
extern std::string FileName2;   // OpenFileName2
extern std::string OpenPath;    // OpenFilePath
extern int BaudRateIndex;       // BaudRate, 0..7
extern int ComPortIndex;        // ComPort, 0..3; 4 = disconnected (never written)
extern int ChipModel;           // ChipID, 0 = RM5164, 1 = RM5168
extern int FillByte;            // UnusedBytes, 255 or 0; the fill uses the low 8 bits
extern std::atomic<int> VerifyAfterBurn;  // Verify; read by the burn worker

// Reads every key in order, falls back to a key's default for a missing, non-numeric or
// out-of-range value, sets PageSize/ImageSize and fills the image. No profile writes.
void LoadSettings();

// Selects the chip model (0 or 1) and writes ChipID. A real change of model also brings
// PageSize and ImageSize up to date and leaves the image empty (FileState 0, refilled,
// both bank sizes 0) so that nothing laid out for the other chip can be burned.
void SelectChip(int model);

// Sets FillByte and writes UnusedBytes; the image is untouched until the next load.
void SelectFillByte(int value);

// Writes one key of the section: text as it stands, integers as "%d".
void WriteSetting(const char* key, const std::string& value);
void WriteSetting(const char* key, int value);
