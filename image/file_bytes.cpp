#include "image/file_bytes.h"

#include <algorithm>
#include <filesystem>

FileBytesReader::FileBytesReader(const std::string& path) {
  std::error_code error;
  // A folder opens for reading on some systems and then reads as empty: it is no file.
  if (std::filesystem::is_directory(path, error)) return;
  in_.open(path, std::ios::binary);
  open_ = static_cast<bool>(in_);
}

FileReadResult FileBytesReader::ReadUpTo(std::size_t max_bytes, std::string& bytes) {
  if (!open_) return FileCannotOpen;
  try {
    constexpr std::size_t kChunkBytes = 64 * 1024;
    while (bytes.size() <= max_bytes && !in_.eof()) {
      const std::size_t want = std::min(kChunkBytes, max_bytes + 1 - bytes.size());
      const std::size_t had = bytes.size();
      bytes.resize(had + want);
      in_.read(bytes.data() + had, static_cast<std::streamsize>(want));
      bytes.resize(had + static_cast<std::size_t>(in_.gcount()));
      if (in_.bad()) return FileCannotOpen;
    }
    return bytes.size() > max_bytes ? FileTooLarge : FileReadOk;
  } catch (const std::exception&) {
    return FileCannotOpen;
  }
}
