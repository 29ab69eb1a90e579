#pragma once
// The Intel HEX writer, pure over bytes: the inverse of the reader's one-file-over-both-banks
// placement, so that what a read wrote opens again into the banks it came from.
#include <cstdint>
#include <string>

// Intel HEX text of bank0_bytes from image and bank1_bytes from image + 0x10000: each bank
// that has bytes as a type 04 record (upper address 0000 or 0001) and data records of 16
// bytes, then the end record. The 04 record comes first also for bank 0, so that a file of
// one bank opens over both banks into that bank alone. Lines end in CR LF. Each size is at
// most 0x10000.
std::string WriteHexText(const std::uint8_t* image, std::uint32_t bank0_bytes, std::uint32_t bank1_bytes);
