#pragma once
// The GUI's eight settings, read from the profile once at start-up and written through key by
// key when the user changes a value (WriteSetting).
#include <atomic>
#include <cstdint>
#include <string>

#include "chip/chip_spec.h"
#include "settings/settings.h"

extern std::string FileName1;   // OpenFileName1
extern std::string FileName2;   // OpenFileName2
extern std::string OpenPath;    // OpenFilePath
extern int BaudRateIndex;       // BaudRate, 0..7
extern int ComPortIndex;        // ComPort, 0..3; 4 = disconnected (never written)
extern int ChipModel;           // ChipID, 0 = RM5164, 1 = RM5168
extern int FillByte;            // UnusedBytes, 255 or 0; the fill uses the low 8 bits
extern std::atomic<int> VerifyAfterBurn;  // Verify; read by the burn worker

// The chosen chip's page size, for the burn worker, which must not read ChipModel while the
// user-interface thread may write it. UseChipModel is the only writer of the two.
extern std::atomic<std::uint32_t> PageSize;

// The chip ChipModel names.
inline const ChipSpec& ChosenChip() { return ChipSpecFor(ChipModel); }

// Sets ChipModel (0 or 1) with its PageSize. Writes nothing to the profile.
void UseChipModel(int model);

// ReadProfileSettings into the globals, with the chip's geometry. No profile writes; the
// image is the caller's to fill.
void LoadSettings();

// The user's choice of chip model (0 or 1): UseChipModel, ChipID written, the chip's status
// field. True when the model changed; emptying an image laid out for the other chip is the
// caller's (ChooseChip does both).
bool SelectChip(int model);

// Sets FillByte and writes UnusedBytes; the image is untouched until the next load.
void SelectFillByte(int value);
