#pragma once
// The image of a chip's flash as a value: bank 0 at 0x00000-0x0FFFF, bank 1 at
// 0x10000-0x1FFFF, with what a burn writes of each bank. Nothing here reads the settings or
// shows anything, so a process may hold one image per chip.
#include <cstdint>
#include <string>
#include <vector>

#include "chip/chip_spec.h"
#include "image/load_report.h"

struct BankImage {
  // Empty for the chip: filled, nothing to burn, no file.
  explicit BankImage(const ChipSpec& target, int fill_value = 0xFF);

  std::vector<std::uint8_t> bytes;       // kImageCapacityBytes, whichever the chip
  const ChipSpec* chip;
  std::uint32_t bank_bytes[2] = {0, 0};  // of each bank a burn writes, whole pages
  int file_state = 0;                    // 0 none, 1 one file, 2 two files
  // The unused bytes' value as the user set it: the image takes its low 8 bits, and any
  // value but 255 makes every touched bank burn whole.
  int fill = 0xFF;
};

// The chip's image_bytes take the low 8 bits of the fill, then the last of them is 0xFF.
void FillImage(BankImage& image);

// FillImage, then both bank sizes 0.
void ResetImage(BankImage& image);

// After every open attempt. A bank over its chip's burn limit is cut to it, with the warning
// "Program size > N bytes\nOnly N bytes will be burned", where N also counts the limits of the
// earlier banks that are burned. An image without a file (file_state not 1 or 2) is reset.
// Then report gets the file state, the title (from report.files), the bank sizes, the
// painted checksum and the burn sum; the warnings are appended to report.messages.
void FinishLoad(BankImage& image, LoadReport& report);

// Another chip: the image emptied for it, so that nothing laid out for the other chip can
// be burned. The report as FinishLoad's.
LoadReport ChangeChip(BankImage& image, const ChipSpec& chip);

// "RM516X ISP utility -- " and the first file (file state 1), both (2) or "No file is opened".
std::string ImageTitle(int file_state, const std::vector<std::string>& files);

// 16-bit sum of every byte of the chip's image but its last, as the main window paints it.
std::uint32_t PaintedChecksum(const BankImage& image);

// 16-bit two's complement of the byte sum of the burned ranges.
std::uint32_t BurnSum(const BankImage& image);
std::uint32_t BurnSum(const std::uint8_t* bytes, std::uint32_t bank0_bytes, std::uint32_t bank1_bytes);
