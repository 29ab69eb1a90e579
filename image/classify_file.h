#pragma once
// Tells an Intel HEX file from a binary one by its first record.
#include <cstddef>
#include <string_view>

enum FileKind : int { FileKindHex = 0, FileKindBinary = 1, FileKindCannotOpen = 2, FileKindEmpty = 3 };

// Record line buffer: the longest record (521 characters) and the sentinel ':'.
inline constexpr std::size_t kHexLineBufferBytes = 524;

// Classifies the start of a file: FileKindEmpty for no bytes, FileKindHex when the bytes
// begin with one well-formed record, otherwise FileKindBinary. Later records are not looked at.
int ClassifyBytes(std::string_view bytes);
