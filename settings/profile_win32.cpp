#include <windows.h>

#include <vector>

#include "settings/profile.h"

std::string ProfileLocation() { return "win.ini"; }

// The system reads its own profile: nothing of ours to refuse.
std::string ProfileProblem() { return ""; }

std::string ProfileReadString(const std::string& section, const std::string& key,
                              const std::string& fallback, std::size_t max_chars) {
  std::vector<char> buffer(max_chars + 1, '\0');
  DWORD length = GetProfileStringA(section.c_str(), key.c_str(), fallback.c_str(), buffer.data(),
                                   static_cast<DWORD>(buffer.size()));
  return std::string(buffer.data(), length);
}

void ProfileWriteString(const std::string& section, const std::string& key, const std::string& value) {
  // The result is ignored on purpose: a failed profile write is silent.
  WriteProfileStringA(section.c_str(), key.c_str(), value.c_str());
}
