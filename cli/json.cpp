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

// nlohmann::json holds valid UTF-8 only. A byte that is not is carried through it as kMark and
// two hex digits, and a kMark of the text as two of them; the serializer escapes kMark as
// \u0001, which Restore then turns into \uDCXX or back into \u0001.
constexpr char kMark = '\x01';
constexpr const char* kMarkEscape = "\\u0001";
constexpr std::size_t kMarkEscapeSize = 6;

std::string Carry(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == static_cast<unsigned char>(kMark)) {
      out += {kMark, kMark};
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (std::size_t n = Utf8SequenceLength(text, i); n != 0) {
      out.append(text, i, n);
      i += n;
      continue;
    } else {
      char hex[3];
      std::snprintf(hex, sizeof hex, "%02X", c);
      out += kMark;
      out += hex;
    }
    ++i;
  }
  return out;
}

void CarryStrings(Json& value) {
  if (value.is_string()) {
    value = Carry(value.get_ref<const std::string&>());
  } else if (value.is_structured()) {
    for (Json& item : value) CarryStrings(item);
  }
}

std::string Restore(const std::string& dumped) {
  std::string out;
  for (std::size_t i = 0; i < dumped.size();) {
    if (dumped[i] != '\\') {
      out += dumped[i++];
    } else if (dumped.compare(i, kMarkEscapeSize, kMarkEscape) != 0) {
      out.append(dumped, i, 2);  // another escape; a \uXXXX's digits follow as plain text
      i += 2;
    } else if (dumped.compare(i + kMarkEscapeSize, kMarkEscapeSize, kMarkEscape) == 0) {
      out += kMarkEscape;
      i += 2 * kMarkEscapeSize;
    } else {
      // The surrogate U+DC00 + byte: no valid text produces it, so the byte comes back.
      out += "\\uDC";
      out.append(dumped, i + kMarkEscapeSize, 2);
      i += kMarkEscapeSize + 2;
    }
  }
  return out;
}

}  // namespace

std::string JsonDump(Json value) {
  CarryStrings(value);
  return Restore(value.dump());
}

double JsonSeconds(double seconds) {
  return static_cast<double>(static_cast<long long>(seconds * 100 + 0.5)) / 100;
}
