#include "image/classify_file.h"

#include <string>

#include "image/hex_reader.h"

int ClassifyBytes(std::string_view bytes) {
  if (bytes.empty()) return FileKindEmpty;
  if (bytes[0] != ':' || bytes.size() < 9) return FileKindBinary;
  std::uint32_t length = 0;
  if (HexToValue(bytes.substr(1, 2), length) != 1) return FileKindBinary;
  const std::size_t record_chars = 2 * length + 11;
  if (bytes.size() < record_chars) return FileKindBinary;
  // The sentinel ':' lets the parser find the "next" record at once.
  std::string line(bytes.substr(0, record_chars));
  line += ':';
  HexRecord record;
  std::size_t position = 0;
  return ParseHexRecord(line, record, position) == 1 ? FileKindBinary : FileKindHex;
}
