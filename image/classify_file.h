#pragma once
// Tells an Intel HEX file from a binary one, and text that is neither from both.
#include <cstddef>
#include <string>
#include <string_view>

enum FileKind : int {
  FileKindHex = 0,
  FileKindBinary = 1,
  FileKindCannotOpen = 2,
  FileKindEmpty = 3,
  FileKindText = 4,  // text that is not Intel HEX: refused, never burned as its own bytes
};

// Classifies a file by its start:
// - FileKindEmpty for no bytes;
// - FileKindHex when, after an optional UTF-8 byte-order mark and any blanks (space, tab,
//   CR, LF), it starts with ':' and the rest of that line (up to CR, LF, a zero byte or the
//   end) is printable ASCII;
// - FileKindText when it starts with a UTF-16 byte-order mark, or its first 4 KiB (after an
//   optional UTF-8 mark) are printable ASCII and blanks with at least one line break;
// - otherwise FileKindBinary.
int ClassifyBytes(std::string_view bytes);

// The refusal of a FileKindText file: "<path> is a text file, not Intel HEX", or
// "<path> is a Motorola S-record file, not Intel HEX" when it starts with S0 to S9, each
// with a hint to convert it.
std::string NotHexText(const std::string& path, std::string_view bytes);
