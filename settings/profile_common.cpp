#include <cerrno>
#include <cstdlib>
#include <limits>
#include <string>

#include "settings/profile.h"

namespace {

// No value the profile can hold contains a line break, so this marks a missing key.
constexpr const char* kMissingValue = "\n";

bool ParseDecimal(const std::string& text, int& value) {
  std::size_t first = text.find_first_not_of(" \t");
  std::size_t last = text.find_last_not_of(" \t");
  if (first == std::string::npos) return false;
  std::string digits = text.substr(first, last - first + 1);
  std::size_t start = (digits[0] == '-' || digits[0] == '+') ? 1 : 0;
  if (start == digits.size()) return false;
  for (std::size_t i = start; i < digits.size(); ++i) {
    if (digits[i] < '0' || digits[i] > '9') return false;
  }
  errno = 0;
  char* end = nullptr;
  long long parsed = std::strtoll(digits.c_str(), &end, 10);
  if (errno == ERANGE || parsed < std::numeric_limits<int>::min() ||
      parsed > std::numeric_limits<int>::max()) {
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}

}  // namespace

int ProfileReadInt(const std::string& section, const std::string& key, int fallback,
                   bool* is_number) {
  if (is_number) *is_number = true;
  std::string text = ProfileReadString(section, key, kMissingValue);
  if (text == kMissingValue) return fallback;
  int value = 0;
  if (!ParseDecimal(text, value)) {
    if (is_number) *is_number = false;
    return fallback;
  }
  return value;
}
