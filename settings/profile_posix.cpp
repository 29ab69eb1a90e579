// The profile as an INI file that reads like the Windows profile: [section] headers,
// key=value lines, names compared without regard to case, blanks around names and values
// ignored, a value in matching quotes read without them.
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <string>
#include <vector>

#include "settings/profile.h"

namespace {

struct FileDescriptor {
  int fd = -1;
  explicit FileDescriptor(int value) : fd(value) {}
  ~FileDescriptor() {
    if (fd >= 0) close(fd);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
};

std::string ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return xdg;  // the base directory rules ignore a relative value
  const char* home = std::getenv("HOME");
  if (home && home[0] != '\0') return std::string(home) + "/.config";
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) {
    return std::string(entry->pw_dir) + "/.config";
  }
  return ".config";
}

std::string ProfileFolder() { return ConfigHome() + "/rm516x-isp"; }

std::string Trim(const std::string& text) {
  std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  std::size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// A profile larger than this is not one this program wrote; it is ignored, not parsed.
constexpr off_t kProfileMaxBytes = 1024 * 1024;

// The profile's lines. False when a profile exists but is not to be read or replaced: not a
// regular file (a FIFO would block, a device never end), larger than kProfileMaxBytes, or
// unreadable, and *problem (when given) says why. A missing profile reads as empty.
bool ReadLines(const std::string& path, std::vector<std::string>& lines, std::string* problem = nullptr) {
  lines.clear();
  const auto refuse = [&](const std::string& why) {
    if (problem) *problem = "profile " + path + " " + why + "; it is ignored";
    return false;
  };
  // O_NONBLOCK: opening a FIFO with no writer must not wait for one.
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (file.fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return true;
    return refuse(std::string("cannot be read (") + std::strerror(errno) + ")");
  }
  struct stat info;
  if (fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    return refuse("is not a regular file");
  }
  if (info.st_size > kProfileMaxBytes) {
    return refuse("is larger than 1 MiB");
  }
  std::string bytes;
  char buffer[16384];
  for (;;) {
    const ssize_t got = read(file.fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      return refuse(std::string("cannot be read (") + std::strerror(errno) + ")");
    }
    if (got == 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
    // It may grow after the fstat; a line past the cap is not read either.
    if (bytes.size() > static_cast<std::size_t>(kProfileMaxBytes)) {
      return refuse("is larger than 1 MiB");
    }
  }
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return true;
}

// True for a "[name]" line; name receives the section name.
bool SectionHeader(const std::string& line, std::string& name) {
  std::string text = Trim(line);
  if (text.empty() || text[0] != '[') return false;
  std::size_t close_at = text.find(']');
  if (close_at == std::string::npos) return false;
  name = Trim(text.substr(1, close_at - 1));
  return true;
}

// True for a "key=value" line.
bool KeyLine(const std::string& line, std::string& key, std::string& value) {
  std::size_t equals = line.find('=');
  if (equals == std::string::npos) return false;
  key = Trim(line.substr(0, equals));
  value = Trim(line.substr(equals + 1));
  return true;
}

// Index of the first line of the named section's body and one past its last line.
bool FindSection(const std::vector<std::string>& lines, const std::string& section,
                 std::size_t& begin, std::size_t& end) {
  std::string name;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!SectionHeader(lines[i], name) || !SameName(name, section)) continue;
    begin = i + 1;
    end = begin;
    while (end < lines.size() && !SectionHeader(lines[end], name)) ++end;
    return true;
  }
  return false;
}

bool FindKey(const std::vector<std::string>& lines, std::size_t begin, std::size_t end,
             const std::string& key, std::size_t& at, std::string& value) {
  std::string name;
  for (std::size_t i = begin; i < end; ++i) {
    if (KeyLine(lines[i], name, value) && SameName(name, key)) {
      at = i;
      return true;
    }
  }
  return false;
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    done += static_cast<std::size_t>(written);
  }
  return true;
}

// Replaces the file in one step: readers see the old profile or the new one, never a part.
void ReplaceFile(const std::string& folder, const std::string& path, const std::string& bytes) {
  std::error_code ignored;
  std::filesystem::create_directories(folder, ignored);
  std::string temp = folder + "/.profile.ini.XXXXXX";
  FileDescriptor file(mkstemp(temp.data()));
  if (file.fd < 0) return;
  struct stat old_file;
  if (stat(path.c_str(), &old_file) == 0) fchmod(file.fd, old_file.st_mode & 07777);
  if (!WriteAll(file.fd, bytes) || fsync(file.fd) != 0 || rename(temp.c_str(), path.c_str()) != 0) {
    unlink(temp.c_str());
    return;
  }
  // The rename itself must survive a crash too.
  FileDescriptor directory(open(folder.c_str(), O_RDONLY | O_DIRECTORY));
  if (directory.fd >= 0) fsync(directory.fd);
}

}  // namespace

std::string ProfileLocation() { return ProfileFolder() + "/profile.ini"; }

std::string ProfileProblem() {
  std::vector<std::string> lines;
  std::string problem;
  ReadLines(ProfileLocation(), lines, &problem);
  return problem;
}

std::string ProfileReadString(const std::string& section, const std::string& key,
                              const std::string& fallback, std::size_t max_chars) {
  std::vector<std::string> lines;
  ReadLines(ProfileLocation(), lines);
  std::size_t begin = 0, end = 0, at = 0;
  std::string value;
  if (!FindSection(lines, section, begin, end) || !FindKey(lines, begin, end, key, at, value)) {
    return fallback;
  }
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value.substr(0, max_chars);
}

void ProfileWriteString(const std::string& section, const std::string& key, const std::string& value) {
  // A line break in the value (a POSIX file name may hold one) would forge other lines.
  std::string line = key + "=" + value.substr(0, value.find_first_of("\r\n"));
  std::vector<std::string> lines;
  // Never replace what could not be read: its other sections would be lost.
  if (!ReadLines(ProfileLocation(), lines)) return;
  std::size_t begin = 0, end = 0, at = 0;
  std::string old_value;
  if (!FindSection(lines, section, begin, end)) {
    if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
    lines.push_back("[" + section + "]");
    lines.push_back(line);
  } else if (FindKey(lines, begin, end, key, at, old_value)) {
    lines[at] = line;
  } else {
    // After the section's last non-blank line, so blank separators stay between sections.
    std::size_t insert_at = end;
    while (insert_at > begin && Trim(lines[insert_at - 1]).empty()) --insert_at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert_at), line);
  }
  std::string bytes;
  for (const std::string& text : lines) bytes += text + "\n";
  ReplaceFile(ProfileFolder(), ProfileLocation(), bytes);
}
