#pragma once
// The two chips' geometry, in one table: everything that differs between an RM5164 and an
// RM5168 is read from here. Both lay their banks out in the same 128 KiB address space.
#include <cstdint>
#include <string_view>

inline constexpr std::uint32_t kBankSizeBytes = 0x10000;
inline constexpr std::uint32_t kImageCapacityBytes = 2 * kBankSizeBytes;

struct ChipSpec {
  int model;                // the profile's ChipID
  const char* name;
  std::uint32_t page_bytes;   // what one program, verify or page-sum command covers
  int banks;
  std::uint32_t image_bytes;  // the image the fill covers: the chip's banks end to end
  // The bytes of each bank a burn may write (0 for a bank the chip lacks). The RM5164 keeps
  // the top of its bank, the RM5168 the top of bank 1, for the ISP firmware.
  std::uint32_t burn_limit_bytes[2];
  // The page byte of bank 1 carries this bit over the page number (0: one bank, and every
  // bit of the byte is the page number).
  std::uint8_t bank1_page_bit;

  constexpr std::uint32_t WholePages(std::uint32_t bytes) const {
    return (bytes + page_bytes - 1) / page_bytes * page_bytes;
  }
  // The pages a read reads of a bank: those a burn may write.
  constexpr std::uint32_t ReadPages(int bank) const { return burn_limit_bytes[bank] / page_bytes; }
  // The byte that names page p of a bank to the ISP firmware; erase block k is named by the
  // page byte of page 2k.
  constexpr std::uint8_t PageByte(int bank, std::uint32_t page) const {
    return static_cast<std::uint8_t>(bank == 0 ? page : bank1_page_bit + page);
  }
  // The painted checksum sums the image but its last byte, which every fill forces to 0xFF.
  constexpr std::uint32_t ChecksumBytes() const { return image_bytes - 1; }
};

inline constexpr ChipSpec kRm5164{0, "RM5164", 256, 1, kBankSizeBytes, {0xFE00, 0}, 0x00};
inline constexpr ChipSpec kRm5168{1, "RM5168", 512, 2, kImageCapacityBytes, {kBankSizeBytes, 0xFC00}, 0x80};

// The chip of a profile's ChipID: 0 the RM5164, any other the RM5168.
const ChipSpec& ChipSpecFor(int model);

// The chip of a name in either case ("rm5168"), or nullptr.
const ChipSpec* ChipSpecNamed(std::string_view name);
