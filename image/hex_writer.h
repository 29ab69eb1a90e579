#pragma once
// The Intel HEX writer, pure over bytes: the inverse of the reader's one-file-over-both-banks
// placement, so that what a read wrote opens again as the same image.
#include <cstdint>
#include <string>

// Intel HEX text of bank0_bytes from image and bank1_bytes from image + 0x10000: data records
// of 16 bytes, a type 04 record (upper address 0001) before the first byte of bank 1, and
// the end record. Bank 0 carries no 04 record, so a file of bank 0 alone also opens into one
// bank. Lines end in CR LF. Each size is at most 0x10000.
std::string WriteHexText(const std::uint8_t* image, std::uint32_t bank0_bytes, std::uint32_t bank1_bytes);
