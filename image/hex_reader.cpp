#include "image/hex_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <vector>

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

constexpr std::size_t kNoRecord = std::string_view::npos;

// The field of count characters at start, converted on its own; fails rather than read
// past the text.
bool ReadField(std::string_view text, std::size_t start, std::size_t count, std::uint32_t& value) {
  if (start > text.size() || count > text.size() - start) return false;
  return HexToValue(text.substr(start, count), value) == 1;
}

// Reads the record whose ':' is at r; false when it does not read. sum_ok tells whether its
// bytes, checksum included, add up to 0 modulo 256.
bool ReadRecord(std::string_view text, std::size_t r, HexRecord& record, bool& sum_ok) {
  if (r >= text.size() || text[r] != ':') return false;
  if (!ReadField(text, r + 1, 2, record.Length) || !ReadField(text, r + 3, 4, record.Address) ||
      !ReadField(text, r + 7, 2, record.Type)) {
    return false;
  }
  std::uint32_t sum = record.Length + (record.Address >> 8) + record.Address + record.Type;
  for (std::size_t i = 0; i < record.Length; ++i) {
    std::uint32_t byte = 0;
    if (!ReadField(text, r + 9 + 2 * i, 2, byte)) return false;
    record.Data[i] = static_cast<std::uint8_t>(byte);
    sum += byte;
  }
  std::uint32_t checksum = 0;
  if (!ReadField(text, r + 9 + 2 * record.Length, 2, checksum)) return false;
  sum_ok = ((sum + checksum) & 0xFF) == 0;
  return true;
}

// The next ':' or zero byte from from on, or kNoRecord when the text ends first.
std::size_t NextRecordMark(std::string_view text, std::size_t from) {
  if (from >= text.size()) return kNoRecord;
  const std::size_t next = text.find_first_of(std::string_view(":\0", 2), from);
  return next == std::string_view::npos ? kNoRecord : next;
}

std::size_t LineAt(std::string_view text, std::size_t position) {
  return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + position, '\n'));
}

std::uint32_t RangeBytes(int mode) { return mode == 2 ? kImageCapacityBytes : kBankSizeBytes; }
std::uint32_t BaseOffset(int mode) { return mode == 1 ? kBankSizeBytes : 0; }

// Marks the image bytes a record writes; true when one of them was written before.
bool MarkWritten(std::vector<bool>& written, std::uint32_t from, std::uint32_t to) {
  bool again = false;
  for (std::uint32_t at = from; at < to; ++at) {
    again = again || written[at];
    written[at] = true;
  }
  return again;
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

std::size_t HexTextStart(std::string_view text) {
  std::size_t at = text.starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
  while (at < text.size() && IsHexBlank(text[at])) ++at;
  return at;
}

HexLoadResult LoadHexText(BankImage& image, std::string_view text, int mode) {
  const std::uint32_t target = BaseOffset(mode);
  const std::uint32_t range = RangeBytes(mode);
  HexLoadResult result;
  const auto fail = [&](HexError error, std::size_t at) {
    std::memset(image.bytes.data() + target, 0xFF, range);
    result.error = error;
    result.size = 0;
    result.line = at == kNoRecord ? 0 : LineAt(text, at);
    return result;
  };

  std::uint32_t ends[2] = {0, 0};  // each bank's highest end of data, from the bank's start
  std::uint32_t base = 0;
  std::size_t base_set_at = 0;
  std::optional<std::uint32_t> data_base;  // one bank: the base the data lies under
  std::size_t bad_sum_at = kNoRecord;
  std::size_t overlap_at = kNoRecord;
  std::vector<bool> written(range);
  bool end_record = false;
  HexRecord record;
  for (std::size_t position = HexTextStart(text); position != kNoRecord;) {
    if (position < text.size() && text[position] == '\0') return fail(HexZeroByte, position);
    bool sum_ok = false;
    if (!ReadRecord(text, position, record, sum_ok)) return fail(HexBadRecord, position);
    if (!sum_ok && result.bad_checksums++ == 0) bad_sum_at = position;
    const std::uint32_t type = record.Type;
    if (type == 1) {
      end_record = true;
      break;
    }
    if (type == 2 || type == 4) {
      if (record.Length != 2) return fail(HexBadRecord, position);
      const std::uint32_t value = (std::uint32_t{record.Data[0]} << 8) | record.Data[1];
      base = type == 2 ? value << 4 : value << 16;
      base_set_at = position;
      result.extended = true;
    } else if (type != 3 && type != 5) {  // 03 and 05 hold a start address, nothing to store
      std::uint32_t start = record.Address;
      std::uint32_t stop = 0;
      if (mode == 2) {
        const std::uint64_t linear = std::uint64_t{base} + record.Address;
        if (linear >= range || linear + record.Length > range) {
          result.address = static_cast<std::uint32_t>(std::max<std::uint64_t>(linear, range));
          return fail(HexBeyondChip, position);
        }
        start = static_cast<std::uint32_t>(linear);
        stop = start + record.Length;
        if (start < kBankSizeBytes) ends[0] = std::max(ends[0], std::min(stop, kBankSizeBytes));
        if (stop > kBankSizeBytes) ends[1] = std::max(ends[1], stop - kBankSizeBytes);
      } else {
        if (!data_base) data_base = base;
        if (*data_base != base) return fail(HexSecondBase, base_set_at);
        // Bytes past the bank's end are dropped, never written into the next bank.
        stop = std::min(start + record.Length, range);
        ends[0] = std::max(ends[0], stop);
      }
      if (start < stop) {
        std::memcpy(image.bytes.data() + target + start, record.Data, stop - start);
        if (MarkWritten(written, start, stop) && result.overlaps++ == 0) overlap_at = position;
      }
    }
    position = NextRecordMark(text, position + 2 * record.Length + 11);
  }
  if (!end_record) return fail(HexNoEnd, kNoRecord);
  const std::uint32_t end = ends[1] != 0 ? kBankSizeBytes + ends[1] : ends[0];
  if (end == 0) return fail(HexNoData, kNoRecord);
  if (bad_sum_at != kNoRecord) result.bad_checksum_line = LineAt(text, bad_sum_at);
  if (overlap_at != kNoRecord) result.overlap_line = LineAt(text, overlap_at);
  const ChipSpec& chip = *image.chip;
  result.size = std::min(chip.WholePages(end), range);
  if (mode == 2) {
    for (int bank = 0; bank < 2; ++bank) result.bank_bytes[bank] = std::min(chip.WholePages(ends[bank]), kBankSizeBytes);
  }
  return result;
}
