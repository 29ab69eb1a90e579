#pragma once
// The in-memory image of the chip's flash: bank 0 at 0x00000-0x0FFFF, bank 1 at
// 0x10000-0x1FFFF. Written on the user-interface thread only, never while a burn runs;
// the burn worker reads it and the sizes.
#include <atomic>
#include <cstdint>
#include <string>

#include "settings/settings.h"  // the chip geometry the image follows
#include "shell/shell.h"

inline constexpr std::uint32_t kBankSizeBytes = 0x10000;
inline constexpr std::uint32_t kImageCapacityBytes = 0x20000;
inline constexpr std::uint32_t kRm5164Bank0LimitBytes = 0xFE00;
inline constexpr std::uint32_t kRm5168Bank1LimitBytes = 0xFC00;

extern std::uint8_t FirmwareImage[kImageCapacityBytes];
extern std::atomic<std::uint32_t> Bank0Size; // bytes of bank 0 to burn, multiple of PageSize
extern std::atomic<std::uint32_t> Bank1Size; // bytes of bank 1 to burn, multiple of PageSize
extern int FileState;                        // 0 none, 1 one file, 2 two files
extern std::uint32_t ImageChecksum;          // 16-bit, painted on the main window

// The first ImageSize bytes take the low 8 bits of FillByte, then byte ImageSize-1 is 0xFF.
void FillImage();

// FillImage, then both bank sizes 0.
void ResetImage();

// The user's choice of chip model (SelectChip). A real change leaves the image empty
// (FileState 0, refilled, both bank sizes 0, refreshed) so that nothing laid out for the
// other chip can be burned; otherwise the main window is only repainted.
void ChooseChip(int model);

// After every open attempt: size limits (warnings owned by owner, told through TellLoad),
// title, bank sizes and ImageChecksum shown.
void RefreshAfterLoad(Window owner);

// The bank sizes shown (ShowBankBytes).
void ShowBankSizes();

// "RM516X ISP utility -- " and FileName1 (FileState 1), both names (2) or "No file is opened".
std::string ImageTitle();

// 16-bit two's complement of the byte sum of the burned ranges.
std::uint32_t BurnSum();
