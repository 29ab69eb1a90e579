#pragma once
// The GUI's image, kept over the value functions of image/: the chip, the fill and the file
// names come from the profile settings; messages and fields go through the shell, at the
// moments the user has always seen them. Written on the user-interface thread only, never
// while a burn runs; the burn worker reads the bytes and the sizes.
#include <atomic>
#include <cstdint>

#include "app/shell.h"
#include "image/bank_image.h"
#include "image/load_report.h"

extern std::uint8_t FirmwareImage[kImageCapacityBytes];
extern std::atomic<std::uint32_t> Bank0Size; // bytes of bank 0 to burn, whole pages
extern std::atomic<std::uint32_t> Bank1Size; // bytes of bank 1 to burn, whole pages
extern int FileState;                        // 0 none, 1 one file, 2 two files
extern std::uint32_t ImageChecksum;          // 16-bit, painted on the main window

// ResetImage of the image, for the chosen chip and FillByte.
void ResetImage();

// The user's choice of chip model (SelectChip). A real change leaves the image empty
// (FileState 0, refilled, both bank sizes 0, refreshed) so that nothing laid out for the
// other chip can be burned; otherwise the main window is only repainted.
void ChooseChip(int model);

// The open sequences, each box owned by owner and shown as it arises, then the fields shown.
// RM5164 direct open of FileName1 (mode 0).
LoadReport OpenSingleFile(Window owner);

// RM5168 "Open File 1": FileName1 over both banks (mode 2).
LoadReport OpenFileOverBothBanks(Window owner);

// RM5168 "Open File 1 && 2": FileName1 into bank 0, FileName2 into bank 1.
LoadReport OpenFilesOnePerBank(Window owner);
