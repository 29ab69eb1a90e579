#pragma once
// The binary reader: the file's bytes are the flash contents from the target's start.
#include <string>
#include <string_view>
#include <vector>

#include "image/bank_image.h"

// Binary size limit of a placement mode: 0x20000 for mode 2, otherwise 0x10000.
unsigned BinLimitBytes(int mode);

// Copies bytes into the image at 0x10000 for mode 1, otherwise at 0, and returns their count
// rounded up to the chip's whole pages; the rest of the last page keeps what the image held.
// More bytes than the mode's limit: the error "<path> > <limit> bytes ...", nothing written,
// 0. No bytes: 0 without a message.
unsigned LoadBinBytes(BankImage& image, const std::string& path, std::string_view bytes, int mode,
                      std::vector<LoadMessage>& messages);
