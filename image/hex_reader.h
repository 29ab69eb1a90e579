#pragma once
// The Intel HEX reader. Record addresses are 16-bit offsets within the target bank; the
// address records (types 02 to 05) are read but not interpreted.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

inline constexpr std::size_t kHexRecordMaxDataBytes = 256;
// No valid image needs a HEX text this long; a longer file is not read as HEX at all.
inline constexpr std::size_t kHexFileMaxBytes = 16u * 1024 * 1024;

struct HexRecord {
  std::uint32_t Length = 0;   // data bytes, 0..255
  std::uint32_t Address = 0;  // 0..0xFFFF, offset within the target bank
  std::uint32_t Type = 0;     // 0..255; 01 ends the file, 02..05 carry addresses
  std::uint8_t Data[kHexRecordMaxDataBytes] = {};
};

// Converts hexadecimal digits (either case), most significant first, into value.
// 1 on success; 0 as soon as any other character is met (value is then unspecified).
int HexToValue(std::string_view digits, std::uint32_t& value);

// Parses the record whose ':' is at position (not checked). The text ends at its last
// character or at a zero byte, whichever comes first; nothing past it is read.
// 0: an end record, position unchanged.  1: a format error, a record cut short, or the text
// ended before the next ':'.  2: the record was read; position is at the next ':'.
int ParseHexRecord(std::string_view text, HexRecord& record, std::size_t& position);

// Lays a HEX text into FirmwareImage for the placement mode (0 bank 0, 1 bank 1, 2 both
// banks from offset 0). Data records store their bytes at the bank offset of their address;
// in modes 0 and 1 bytes past the bank's end are dropped (the record is cut there), in mode
// 2 they run on into bank 1. Returns the highest end of data rounded up to whole pages
// (never more than the mode's range: 0x10000, or 0x20000 in mode 2), or 0 when no end record
// follows the data or nothing was stored; the mode's range is then set to 0xFF.
unsigned LoadHexText(std::string_view text, int mode);

// LoadHexText over the file's bytes. A file that cannot be read, or is larger than
// kHexFileMaxBytes, fails in the same way: the range becomes 0xFF and the result is 0.
unsigned LoadHexFile(const std::string& path, int mode);
