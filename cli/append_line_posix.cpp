#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/append_line.h"

bool AppendLine(const std::string& path, const std::string& line, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  // One write: O_APPEND places it whole at the end, whoever else appends.
  const std::string text = line.empty() ? line : line + "\n";
  ssize_t written = 0;
  do {
    written = ::write(fd, text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  const int write_errno = errno;
  std::string cut;
  if (written > 0 && written < static_cast<ssize_t>(text.size())) {
    // A torn line would glue the next one to it: take it back. It ends where the offset now
    // is, even when others appended before it.
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end < written || ::ftruncate(fd, end - written) != 0) {
      cut = std::string(" and could not be taken back: ") + std::strerror(errno);
    }
  }
  ::close(fd);
  if (written != static_cast<ssize_t>(text.size())) {
    error = "cannot append to " + path + ": " +
            (written < 0 ? std::strerror(write_errno)
                         : "only " + std::to_string(written) + " of " + std::to_string(text.size()) +
                               " bytes fit (is the disk full?)" + cut);
    return false;
  }
  return true;
}
