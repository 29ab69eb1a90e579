#include "cli/json.h"

#include <cstdio>

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0.
std::size_t Utf8SequenceLength(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length;
  unsigned minimum;
  unsigned value;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2; minimum = 0x80; value = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3; minimum = 0x800; value = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4; minimum = 0x10000; value = lead & 0x07u;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0u) != 0x80u) return 0;
    value = (value << 6) | (byte(i + k) & 0x3Fu);
  }
  if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return length;
}

}  // namespace

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    char escape[8];
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          std::snprintf(escape, sizeof escape, "\\u%04X", c);
          out += escape;
        } else if (c < 0x80) {
          out += static_cast<char>(c);
        } else if (std::size_t n = Utf8SequenceLength(text, i); n != 0) {
          out.append(text, i, n);
          i += n;
          continue;
        } else {
          // The surrogate U+DC00 + byte: no valid text produces it, so the byte comes back.
          std::snprintf(escape, sizeof escape, "\\uDC%02X", c);
          out += escape;
        }
    }
    ++i;
  }
  out += '"';
  return out;
}
