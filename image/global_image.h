#pragma once
// The process-wide image the GUI, the command line and the burn worker share today, kept
// over the value functions until the front ends hold their own BankImage. The chip, the fill
// and the file names come from the settings; messages and fields go through the shell, at
// the moments the user has always seen them. Written on the user-interface thread only,
// never while a burn runs; the burn worker reads the bytes and the sizes.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "image/bank_image.h"
#include "image/file_open.h"
#include "image/load_report.h"
#include "settings/settings.h"  // the chip, the fill and the file names it follows
#include "shell/shell.h"

extern std::uint8_t FirmwareImage[kImageCapacityBytes];
extern std::atomic<std::uint32_t> Bank0Size; // bytes of bank 0 to burn, whole pages
extern std::atomic<std::uint32_t> Bank1Size; // bytes of bank 1 to burn, whole pages
extern int FileState;                        // 0 none, 1 one file, 2 two files
extern std::uint32_t ImageChecksum;          // 16-bit, painted on the main window

// FillImage and ResetImage of the shared image, for the chosen chip and FillByte.
void FillImage();
void ResetImage();

// The user's choice of chip model (SelectChip). A real change leaves the image empty
// (FileState 0, refilled, both bank sizes 0, refreshed) so that nothing laid out for the
// other chip can be burned; otherwise the main window is only repainted.
void ChooseChip(int model);

// After every open attempt: FinishLoad with its warnings as boxes owned by owner, then the
// title, the bank sizes and ImageChecksum shown.
void RefreshAfterLoad(Window owner);

// The bank sizes shown (ShowBankBytes).
void ShowBankSizes();

// ImageTitle of FileState with FileName1 and FileName2.
std::string ImageTitle();

// BurnSum of the shared image; safe on the burn worker's thread.
std::uint32_t BurnSum();

// PlaceFile and PlaceBytes into the shared image, their messages shown as boxes owned by owner.
int PlaceFile(Window owner, const std::string& path, int mode);
int PlaceBytes(Window owner, const std::string& path, std::string_view bytes, int mode);

// The open sequences over the shared image, each box owned by owner and shown as it arises,
// then the fields shown. FileName1 alone for the placement mode: its uses are below, and the
// command line's --bank puts one file into one bank of the RM5168 with it.
LoadReport OpenOneFile(Window owner, int mode);

// RM5164 direct open of FileName1 (mode 0).
LoadReport OpenSingleFile(Window owner);

// RM5168 "Open File 1": FileName1 over both banks (mode 2).
LoadReport OpenFileOverBothBanks(Window owner);

// RM5168 "Open File 1 && 2": FileName1 into bank 0, FileName2 into bank 1.
LoadReport OpenFilesOnePerBank(Window owner);
