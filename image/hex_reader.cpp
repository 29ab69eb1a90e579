#include "image/hex_reader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "image/bank_image.h"
#include "image/file_bytes.h"

namespace {

// Every HEX character goes through HexToValue: one table look-up instead of three range tests.
constexpr std::uint8_t kNotHexDigit = 0xFF;
constexpr std::array<std::uint8_t, 256> kHexDigitValue = [] {
  std::array<std::uint8_t, 256> table{};
  table.fill(kNotHexDigit);
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<std::uint8_t>(c - '0');
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<std::uint8_t>(c - 'A' + 10);
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<std::uint8_t>(c - 'a' + 10);
  return table;
}();

// The field of count characters at start, converted on its own; fails rather than read
// past the text.
bool ReadField(std::string_view text, std::size_t start, std::size_t count, std::uint32_t& value) {
  if (start > text.size() || count > text.size() - start) return false;
  return HexToValue(text.substr(start, count), value) == 1;
}

bool IsAddressRecord(std::uint32_t type) { return type >= 2 && type <= 5; }

std::uint32_t RangeBytes(int mode) { return mode == 2 ? kImageCapacityBytes : kBankSizeBytes; }
std::uint32_t BaseOffset(int mode) { return mode == 1 ? kBankSizeBytes : 0; }

unsigned FailHexLoad(int mode) {
  std::memset(FirmwareImage + BaseOffset(mode), 0xFF, RangeBytes(mode));
  return 0;
}

}  // namespace

int HexToValue(std::string_view digits, std::uint32_t& value) {
  // Most significant digit first: shifting gives the same value, modulo 2^32, as the
  // weights of 1, 16, 256, ... taken from the last digit.
  std::uint32_t result = 0;
  for (const char c : digits) {
    const std::uint8_t digit = kHexDigitValue[static_cast<unsigned char>(c)];
    if (digit == kNotHexDigit) return 0;
    result = (result << 4) | digit;
  }
  value = result;
  return 1;
}

int ParseHexRecord(std::string_view text, HexRecord& record, std::size_t& position) {
  // A zero byte ends the text: it fails any field it falls in and stops the search below.
  const std::size_t r = position;
  if (r >= text.size() || text[r] == '\0') return 1;
  if (!ReadField(text, r + 1, 2, record.Length) || !ReadField(text, r + 3, 4, record.Address) ||
      !ReadField(text, r + 7, 2, record.Type)) {
    return 1;
  }
  for (std::size_t i = 0; i < record.Length; ++i) {
    std::uint32_t byte = 0;
    if (!ReadField(text, r + 9 + 2 * i, 2, byte)) return 1;
    record.Data[i] = static_cast<std::uint8_t>(byte);
  }
  std::uint32_t checksum = 0;  // read for its form only: a wrong sum is accepted
  if (!ReadField(text, r + 9 + 2 * record.Length, 2, checksum)) return 1;
  if (record.Type == 1) return 0;
  for (std::size_t next = r + 2 * record.Length + 11; next < text.size(); ++next) {
    if (text[next] == ':') {
      position = next;
      return 2;
    }
    if (text[next] == '\0') return 1;
  }
  return 1;
}

unsigned LoadHexText(std::string_view text, int mode) {
  text = text.substr(0, text.find('\0'));
  const std::uint32_t base = BaseOffset(mode);
  const std::uint32_t range = RangeBytes(mode);
  std::uint32_t end = 0;
  std::size_t position = 0;
  HexRecord record;
  int result = 0;
  while ((result = ParseHexRecord(text, record, position)) == 2) {
    if (IsAddressRecord(record.Type)) continue;
    const std::uint32_t stop = std::min(record.Address + record.Length, range);
    if (record.Address < stop) {
      std::memcpy(FirmwareImage + base + record.Address, record.Data, stop - record.Address);
    }
    end = std::max(end, stop);
  }
  if (result != 0 || end == 0) return FailHexLoad(mode);
  const std::uint32_t page = PageSize.load();
  const std::uint32_t rounded = page == 0 ? end : (end + page - 1) / page * page;
  return std::min(rounded, range);
}

unsigned LoadHexFile(const std::string& path, int mode) {
  std::string text;
  if (ReadFileBytes(path, kHexFileMaxBytes, text) != FileReadOk) return FailHexLoad(mode);
  return LoadHexText(text, mode);
}
