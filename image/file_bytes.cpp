#include "image/file_bytes.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

FileReadResult ReadFileBytes(const std::string& path, std::size_t max_bytes, std::string& bytes) {
  bytes.clear();
  try {
    std::error_code error;
    // A folder opens for reading on some systems and then reads as empty: it is no file.
    if (std::filesystem::is_directory(path, error)) return FileCannotOpen;
    std::ifstream in(path, std::ios::binary);
    if (!in) return FileCannotOpen;
    constexpr std::size_t kChunkBytes = 64 * 1024;
    while (bytes.size() <= max_bytes) {
      const std::size_t want = std::min(kChunkBytes, max_bytes + 1 - bytes.size());
      const std::size_t had = bytes.size();
      bytes.resize(had + want);
      in.read(bytes.data() + had, static_cast<std::streamsize>(want));
      bytes.resize(had + static_cast<std::size_t>(in.gcount()));
      if (in.bad()) return FileCannotOpen;
      if (in.eof()) break;
    }
    return bytes.size() > max_bytes ? FileTooLarge : FileReadOk;
  } catch (const std::exception&) {
    bytes.clear();
    return FileCannotOpen;
  }
}
