#pragma once
// The binary reader: the file's bytes are the flash contents from the target's start.
#include <string>
#include <string_view>

#include "shell/shell.h"

// Binary size limit of a placement mode: 0x20000 for mode 2, otherwise 0x10000.
unsigned BinLimitBytes(int mode);

// Copies bytes into FirmwareImage at 0x10000 for mode 1, otherwise at 0, and returns their
// count rounded up to whole pages; the rest of the last page keeps what the image held.
// More bytes than the mode's limit: the error box "<path> > <limit> bytes ..." owned by owner,
// nothing written, 0. No bytes: 0 without a box.
unsigned LoadBinBytes(Window owner, const std::string& path, std::string_view bytes, int mode);
