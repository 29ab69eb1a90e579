// --log: one line per exchange and per protocol violation, flushed as written so a test can
// read the file while the simulator runs.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/sim.h"

namespace {

std::FILE* LogFile = nullptr;

void WriteLine(const std::string& line) {
  if (LogFile == nullptr) return;
  std::fputs(line.c_str(), LogFile);
  std::fputc('\n', LogFile);
  std::fflush(LogFile);
}

}  // namespace

bool LogOpen(const std::string& path, std::string* error) {
  LogFile = std::fopen(path.c_str(), "w");
  if (LogFile == nullptr) {
    *error = "cannot open --log " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::string HexByte(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", value & 0xFF);
  return text;
}

void LogExchange(const char* direction, Phase phase, const std::uint8_t* bytes,
                 std::size_t count) {
  if (LogFile == nullptr) return;
  std::string line = std::string(direction) + " " + PhaseName(phase);
  static const char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < count; ++i) {
    line += ' ';
    line += kDigits[bytes[i] >> 4];
    line += kDigits[bytes[i] & 0x0F];
  }
  WriteLine(line);
}

void LogViolation(Phase phase, const std::string& text) {
  WriteLine(std::string("VIOLATION ") + PhaseName(phase) + ": " + text);
}

void LogNote(const std::string& text) { WriteLine("NOTE " + text); }
