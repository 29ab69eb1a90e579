#pragma once
// The Intel HEX reader, pure over the file's text: it fills an image and says what it found;
// the open sequence turns that into messages.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "image/bank_image.h"

inline constexpr std::size_t kHexRecordMaxDataBytes = 256;
// No valid image needs a HEX text this long; a longer one is refused.
inline constexpr std::size_t kHexFileMaxBytes = 16u * 1024 * 1024;

struct HexRecord {
  std::uint32_t Length = 0;   // data bytes, 0..255
  std::uint32_t Address = 0;  // 0..0xFFFF, the record's 16-bit address field
  std::uint32_t Type = 0;     // 0..255; 01 ends the file, 02 and 04 set the address base
  std::uint8_t Data[kHexRecordMaxDataBytes] = {};
};

enum HexError : int {
  HexOk = 0,
  HexBadRecord,   // a record that does not read: a bad digit, or cut short by the end of the text
  HexNoData,      // nothing to burn before the end of the file
  HexBeyondChip,  // over both banks: data at or past 0x20000
  HexSecondBase,  // into one bank: data under a second address base
  HexNoEnd,       // the text ends before an end record: cut short
  HexZeroByte,    // a zero byte before the end record
};

struct HexLoadResult {
  unsigned size = 0;                 // whole pages from the target's start; 0 on any error
  HexError error = HexOk;
  std::size_t line = 0;              // 1-based line of the error (none for HexNoData)
  std::uint32_t address = 0;         // HexBeyondChip: the first address past the chip
  std::size_t bad_checksums = 0;     // records with a wrong checksum, read all the same
  std::size_t bad_checksum_line = 0; // 1-based line of the first of them
  std::size_t overlaps = 0;          // data records writing a byte an earlier one wrote
  std::size_t overlap_line = 0;      // 1-based line of the first of them
  bool extended = false;             // an 02 or 04 record was read
  // Over both banks: each bank's whole pages from its start to the page holding its highest
  // byte (0 when no data record reaches it).
  unsigned bank_bytes[2] = {0, 0};
};

// Converts hexadecimal digits (either case), most significant first, into value.
// 1 on success; 0 as soon as any other character is met (value is then unspecified).
int HexToValue(std::string_view digits, std::uint32_t& value);

// Blanks a HEX text may have before its first record and between records.
inline bool IsHexBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Where a HEX text's first record starts: past an optional UTF-8 byte-order mark and blanks.
std::size_t HexTextStart(std::string_view text);

// Lays a HEX text into the image for the placement mode (0 bank 0, 1 bank 1, 2 both
// banks). The first record starts at HexTextStart; its ':' and every later one is required.
// Lines are counted by LF. Nothing after the end record is read.
// - Mode 2: types 02 (segment x 16) and 04 (upper 16 bits) set the base, and each data
//   record lands at base + address; data at or past 0x20000 is HexBeyondChip.
// - Modes 0 and 1: addresses are offsets within the bank whatever the base, and bytes past
//   the bank's end are dropped; data records under two different bases (0 included) are
//   HexSecondBase, on the line of the address record that set the second.
// Types 03 and 05 are skipped; every other type stores its bytes as data, a later record
// over an earlier one (counted in overlaps). A record that does not read is HexBadRecord, a
// zero byte before the end record HexZeroByte, a text without an end record HexNoEnd, no
// data (the highest end of data is 0) HexNoData. Wrong checksums are counted, not refused.
// On an error the mode's range (0x10000 bytes from the bank, or 0x20000 from 0) is 0xFF.
// Otherwise size is the highest end of data rounded up to the chip's whole pages, at most the
// range.
HexLoadResult LoadHexText(BankImage& image, std::string_view text, int mode);
