#include "image/classify_file.h"

#include <algorithm>

#include "image/hex_reader.h"

namespace {

constexpr std::size_t kTextSniffBytes = 4096;

bool IsPrintable(char c) { return c >= 0x20 && c < 0x7F; }

// A UTF-16 mark followed by ASCII text in UTF-16 (a HEX file saved as "Unicode"). A binary
// image may start FF FE too (a one-bank backup holds whatever the flash held): its next
// bytes are not ASCII in UTF-16, so it still burns.
bool StartsWithUtf16Mark(std::string_view bytes) {
  const bool little = bytes.starts_with("\xFF\xFE");
  if (!little && !bytes.starts_with("\xFE\xFF")) return false;
  const std::string_view units = bytes.substr(2, kTextSniffBytes);
  for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
    const char low = units[little ? i : i + 1];
    const char high = units[little ? i + 1 : i];
    if (high != 0 || !(IsPrintable(low) || IsHexBlank(low))) return false;
  }
  return true;
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
    // A tab after the record is a blank the reader skips, not a sign of other text.
    if (std::all_of(line.begin(), line.end(), [](char c) { return IsPrintable(c) || IsHexBlank(c); })) {
      return FileKindHex;
    }
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
