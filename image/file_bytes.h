#pragma once
// Reading a file for the loaders: one handle, read from the start in bounded steps. A pipe
// or FIFO gives its bytes only once, so all a load needs comes through the same handle.
#include <cstddef>
#include <fstream>
#include <string>

enum FileReadResult : int {
  FileReadOk = 0,
  FileCannotOpen = 1,  // missing, a folder, no permission, or a read error part-way
  FileTooLarge = 2,    // more than max_bytes; bytes then holds the first max_bytes + 1
};

class FileBytesReader {
 public:
  // Opens the file for reading; a folder counts as a file that cannot be opened.
  explicit FileBytesReader(const std::string& path);

  bool is_open() const { return open_; }

  // Appends the file's next bytes to bytes until it holds more than max_bytes or the file
  // ends, so that a file of any size (or a device that never ends) costs at most
  // max_bytes + 1 bytes of memory. May be called again with a larger max_bytes to go on
  // where the last call stopped. Never throws.
  FileReadResult ReadUpTo(std::size_t max_bytes, std::string& bytes);

 private:
  std::ifstream in_;
  bool open_ = false;
};
