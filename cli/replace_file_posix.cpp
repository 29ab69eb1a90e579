#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/replace_file.h"

namespace {

bool Fail(const std::string& path, const std::string& why, std::string& error) {
  error = "cannot write " + path + ": " + why;
  return false;
}

// Where a write to path lands: through a symbolic link to its file, so the link stays.
std::string Target(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string target = real;
  std::free(real);
  return target;
}

// "" when target is missing or a regular file; otherwise why it cannot be replaced.
std::string TargetProblem(const std::string& target) {
  struct stat status {};
  if (::stat(target.c_str(), &status) != 0) return errno == ENOENT ? "" : std::strerror(errno);
  if (S_ISDIR(status.st_mode)) return std::strerror(EISDIR);
  if (!S_ISREG(status.st_mode)) return "not a regular file";
  return "";
}

// Opens a new ".NAME.XXXXXX" beside target; -1, with errno, when the folder takes none.
int CreateTemporary(const std::string& target, std::string& temp) {
  const std::size_t slash = target.rfind('/');
  const std::size_t name_at = slash == std::string::npos ? 0 : slash + 1;
  temp = target.substr(0, name_at) + "." + target.substr(name_at) + ".XXXXXX";
  return ::mkostemp(temp.data(), O_CLOEXEC);
}

// The mode a file created by open(..., 0666) would get. Only called with no other thread
// creating files.
mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

int WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) return errno;
    if (written == 0) return EIO;
    done += static_cast<std::size_t>(written);
  }
  return 0;
}

// So that the new name, too, survives a power cut; the file is whole either way.
void SyncFolder(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);  // a folder some file systems cannot sync still holds the file
  ::close(fd);
}

}  // namespace

bool CheckReplaceable(const std::string& path, std::string& error) {
  const std::string target = Target(path);
  if (const std::string problem = TargetProblem(target); !problem.empty()) {
    return Fail(path, problem, error);
  }
  std::string temp;
  const int fd = CreateTemporary(target, temp);
  if (fd < 0) return Fail(path, std::strerror(errno), error);
  ::close(fd);
  ::unlink(temp.c_str());
  return true;
}

bool ReplaceWhole(const std::string& path, const std::string& bytes, std::string& error) {
  const std::string target = Target(path);
  if (const std::string problem = TargetProblem(target); !problem.empty()) {
    return Fail(path, problem, error);
  }
  struct stat existing {};
  const mode_t mode = ::stat(target.c_str(), &existing) == 0 ? existing.st_mode & 07777 : NewFileMode();
  std::string temp;
  const int fd = CreateTemporary(target, temp);
  if (fd < 0) return Fail(path, std::strerror(errno), error);
  int code = ::fchmod(fd, mode) == 0 ? 0 : errno;
  if (code == 0) code = WriteAll(fd, bytes);
  if (code == 0 && ::fsync(fd) != 0) code = errno;
  if (::close(fd) != 0 && code == 0) code = errno;
  if (code == 0 && ::rename(temp.c_str(), target.c_str()) != 0) code = errno;
  if (code != 0) {
    ::unlink(temp.c_str());
    return Fail(path, std::strerror(code), error);
  }
  SyncFolder(target);
  return true;
}

bool SameFile(const std::string& a, const std::string& b) {
  if (a == b) return true;
  struct stat first {};
  struct stat second {};
  return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}
