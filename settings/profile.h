#pragma once
// The user's profile: named sections of text key/value pairs, section and key names
// compared without regard to case. Windows uses the system profile calls; POSIX keeps an
// INI file at $XDG_CONFIG_HOME/rm516x-isp/profile.ini (~/.config/... when unset). An INI
// file that is not a regular file, is over 1 MiB or cannot be read is ignored (ProfileProblem
// says why) and never replaced.
#include <string>

// At most max_chars characters of the stored value, or fallback when the key is missing.
std::string ProfileReadString(const std::string& section, const std::string& key,
                              const std::string& fallback, std::size_t max_chars = 255);

// The stored value as a decimal integer; fallback when the key is missing, and also when the
// value is not a decimal number (optional sign, digits, blanks around) within int range, in
// which case *is_number (when given) is false.
int ProfileReadInt(const std::string& section, const std::string& key, int fallback,
                   bool* is_number = nullptr);

// Stores the value, keeping every other section and key. On POSIX the file is replaced
// atomically. Failures are silent, as the profile calls' are.
void ProfileWriteString(const std::string& section, const std::string& key, const std::string& value);

// Why the profile is ignored ("profile PATH is not a regular file; it is ignored"), or "" when
// it can be read or does not exist.
std::string ProfileProblem();

// Where the profile lives (the INI path on POSIX; the system's name on Windows).
std::string ProfileLocation();
