// The flash array, its page mapping, and the --flash-in / --flash-out files.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <fstream>

#include "sim/sim.h"

std::vector<std::uint8_t> Flash;
std::vector<std::uint8_t> Intended;

std::size_t FlashSize() { return SimChipModel == 1 ? 0x20000 : 0x10000; }

std::size_t FlashPageSize() { return SimChipModel == 1 ? 512 : 256; }

std::size_t PageOffset(std::uint8_t page) {
  if (SimChipModel == 1) return (page >> 7) * 0x10000u + (page & 0x7Fu) * 512u;
  return page * 256u;
}

bool LoadFlash(const std::string& path, std::uint32_t seed, std::string* error) {
  Flash.assign(FlashSize(), 0);
  // xorshift32: the same bytes on every platform for a seed, and never all 0xFF, so a page
  // the host forgot to erase shows in the read-back.
  std::uint32_t x = seed != 0 ? seed : 0x9E3779B9u;
  for (std::uint8_t& byte : Flash) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    byte = static_cast<std::uint8_t>(x >> 24);
  }
  if (!path.empty()) {
    // Only a regular file of at most the flash's size is read: /dev/zero or a FIFO would
    // never end, or block.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
      *error = "cannot open --flash-in " + path + ": " + std::strerror(errno);
      return false;
    }
    struct stat info;
    std::string problem;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      problem = "--flash-in " + path + " is not a regular file";
    } else if (static_cast<std::uintmax_t>(info.st_size) > Flash.size()) {
      problem = "--flash-in " + path + " holds " + std::to_string(info.st_size) +
                " bytes, more than the chip's " + std::to_string(Flash.size());
    }
    std::size_t done = 0;
    while (problem.empty() && done < Flash.size()) {
      const ssize_t got = read(fd, Flash.data() + done, Flash.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) problem = "cannot read --flash-in " + path + ": " + std::strerror(errno);
      if (got <= 0) break;
      done += static_cast<std::size_t>(got);
    }
    close(fd);
    if (!problem.empty()) {
      *error = problem;
      return false;
    }
  }
  Intended = Flash;
  return true;
}

bool SaveFlash(const std::string& path, std::string* error) {
  std::string temp = path + ".part";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(Flash.data()),
              static_cast<std::streamsize>(Flash.size()));
    out.close();
    if (!out) {
      *error = "cannot write --flash-out " + temp + ": " + std::strerror(errno);
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    *error = "cannot write --flash-out " + path + ": " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}

void ErasePage(std::uint8_t page) {
  std::size_t at = PageOffset(page);
  std::fill_n(Flash.begin() + static_cast<std::ptrdiff_t>(at), FlashPageSize(), 0xFF);
  std::fill_n(Intended.begin() + static_cast<std::ptrdiff_t>(at), FlashPageSize(), 0xFF);
}

void ProgramPage(std::uint8_t page, const std::uint8_t* data, bool corrupt_first_byte) {
  std::size_t at = PageOffset(page);
  for (std::size_t i = 0; i < FlashPageSize(); ++i) {
    Flash[at + i] &= data[i];
    Intended[at + i] = data[i];
  }
  if (corrupt_first_byte) Flash[at] = static_cast<std::uint8_t>(data[0] ^ 0x01);
}

static std::uint16_t PageSum(const std::vector<std::uint8_t>& memory, std::uint8_t page) {
  std::size_t at = PageOffset(page);
  unsigned sum = 0;
  for (std::size_t i = 0; i < FlashPageSize(); ++i) sum += memory[at + i];
  return static_cast<std::uint16_t>(sum);
}

std::uint16_t FlashPageSum(std::uint8_t page) { return PageSum(Flash, page); }

std::uint16_t IntendedPageSum(std::uint8_t page) { return PageSum(Intended, page); }

void BeginIntended() { Intended = Flash; }
