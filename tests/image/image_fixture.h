#pragma once
// Images of either chip, empty, and what their loads said.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "image/bank_image.h"
#include "image/load_report.h"

// Empty for the chip; past the chip's image the bytes hold 0x55, which no fill writes.
inline BankImage EmptyImage(const ChipSpec& chip, int fill) {
  BankImage image(chip, fill);
  std::fill(image.bytes.begin(), image.bytes.end(), 0x55);
  ResetImage(image);
  return image;
}

inline bool RangeIs(const BankImage& image, std::uint32_t from, std::uint32_t to, std::uint8_t value) {
  return std::all_of(image.bytes.begin() + from, image.bytes.begin() + to, [&](std::uint8_t b) { return b == value; });
}

// Exactly these texts, each of kind.
inline void ExpectMessages(const std::vector<LoadMessage>& messages, int kind, const std::vector<std::string>& texts) {
  ASSERT_EQ(messages.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(messages[i].text, texts[i]);
    EXPECT_EQ(messages[i].kind, kind);
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
