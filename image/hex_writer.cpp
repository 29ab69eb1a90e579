#include "image/hex_writer.h"

#include <cstdio>

#include "image/bank_image.h"

namespace {

constexpr std::uint32_t kRecordDataBytes = 16;

void AppendRecord(std::string& text, std::uint32_t type, std::uint32_t address,
                  const std::uint8_t* data, std::uint32_t length) {
  char field[16];
  std::snprintf(field, sizeof field, ":%02X%04X%02X", static_cast<unsigned>(length),
                static_cast<unsigned>(address & 0xFFFF), static_cast<unsigned>(type));
  text += field;
  std::uint32_t sum = length + (address >> 8) + address + type;
  for (std::uint32_t i = 0; i < length; ++i) {
    std::snprintf(field, sizeof field, "%02X", data[i]);
    text += field;
    sum += data[i];
  }
  std::snprintf(field, sizeof field, "%02X\r\n", static_cast<unsigned>((0x100 - (sum & 0xFF)) & 0xFF));
  text += field;
}

void AppendData(std::string& text, const std::uint8_t* bytes, std::uint32_t size) {
  for (std::uint32_t at = 0; at < size; at += kRecordDataBytes) {
    const std::uint32_t length = size - at < kRecordDataBytes ? size - at : kRecordDataBytes;
    AppendRecord(text, 0x00, at, bytes + at, length);
  }
}

}  // namespace

std::string WriteHexText(const std::uint8_t* image, std::uint32_t bank0_bytes, std::uint32_t bank1_bytes) {
  std::string text;
  text.reserve((bank0_bytes + bank1_bytes) / kRecordDataBytes * 45 + 64);
  for (std::uint32_t bank = 0; bank < 2; ++bank) {
    const std::uint32_t size = bank == 0 ? bank0_bytes : bank1_bytes;
    if (size == 0) continue;
    const std::uint8_t upper[2] = {0x00, static_cast<std::uint8_t>(bank)};
    AppendRecord(text, 0x04, 0, upper, 2);
    AppendData(text, image + bank * kBankSizeBytes, size);
  }
  AppendRecord(text, 0x01, 0, nullptr, 0);
  return text;
}
