#include "image/classify_file.h"

#include <algorithm>

#include "image/hex_reader.h"

namespace {

constexpr std::size_t kTextSniffBytes = 4096;

bool IsPrintable(char c) { return c >= 0x20 && c < 0x7F; }

bool StartsWithUtf16Mark(std::string_view bytes) {
  return bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF");
}

std::size_t PastUtf8Mark(std::string_view bytes) {
  return bytes.starts_with(kUtf8ByteOrderMark) ? kUtf8ByteOrderMark.size() : 0;
}

}  // namespace

int ClassifyBytes(std::string_view bytes) {
  if (bytes.empty()) return FileKindEmpty;
  if (StartsWithUtf16Mark(bytes)) return FileKindText;
  const std::size_t start = HexTextStart(bytes);
  if (start < bytes.size() && bytes[start] == ':') {
    const std::size_t line_end = bytes.find_first_of(std::string_view("\r\n\0", 3), start);
    const std::string_view line = bytes.substr(start, line_end - start);
    if (std::all_of(line.begin(), line.end(), IsPrintable)) return FileKindHex;
  }
  // Text meant for something else must not burn as its own characters; a binary image
  // has control bytes (an 8051 image starts with a jump opcode) well within the first page.
  const std::string_view head = bytes.substr(PastUtf8Mark(bytes), kTextSniffBytes);
  const bool text = std::all_of(head.begin(), head.end(), [](char c) { return IsPrintable(c) || IsHexBlank(c); });
  const bool lines = head.find_first_of("\r\n") != std::string_view::npos;
  return text && lines ? FileKindText : FileKindBinary;
}

std::string NotHexText(const std::string& path, std::string_view bytes) {
  if (StartsWithUtf16Mark(bytes)) {
    return path + " is a text file, not Intel HEX (it is UTF-16: save it as UTF-8 or ASCII)";
  }
  const std::size_t start = HexTextStart(bytes);
  if (start + 1 < bytes.size() && bytes[start] == 'S' && bytes[start + 1] >= '0' && bytes[start + 1] <= '9') {
    return path + " is a Motorola S-record file, not Intel HEX (convert it first: objcopy -I srec -O ihex " +
           path + " OUT.hex)";
  }
  return path + " is a text file, not Intel HEX";
}
