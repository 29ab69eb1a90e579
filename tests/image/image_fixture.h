#pragma once
// Sets the chip and fill value directly (no profile) and starts from an empty image.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "image/bank_image.h"
#include "settings/settings.h"
#include "tests/support/recording_shell.h"

inline void UseChip(int model, int fill) {
  FillByte = fill;
  UseChipModel(model);
  std::fill(std::begin(FirmwareImage), std::end(FirmwareImage), 0x55);
  ResetImage();
  FileState = 0;
  ResetShellRecord();
}

inline bool ImageRangeIs(std::uint32_t from, std::uint32_t to, std::uint8_t value) {
  return std::all_of(FirmwareImage + from, FirmwareImage + to, [&](std::uint8_t b) { return b == value; });
}

// The shell showed exactly these texts, each of kind and from owner.
inline void ExpectMessages(const int* owner, int kind, const std::vector<std::string>& texts) {
  const RecordedShell shell = ShellRecord();
  ASSERT_EQ(shell.messages.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(shell.messages[i].text, texts[i]);
    EXPECT_EQ(shell.messages[i].kind, kind);
    EXPECT_EQ(shell.messages[i].owner, owner);
  }
}

// One Intel HEX record with a correct checksum, without a line end.
inline std::string HexRecordText(unsigned type, unsigned address, const std::string& data) {
  char field[16];
  std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
  std::string text = field;
  unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
  for (unsigned char byte : data) {
    std::snprintf(field, sizeof field, "%02X", byte);
    text += field;
    sum += byte;
  }
  std::snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
  return text + field;
}

inline const std::string kEndRecord = ":00000001FF";
