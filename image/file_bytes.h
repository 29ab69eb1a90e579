#pragma once
// Whole-file reads for the readers' path-taking wrappers: one bounded read, no handle kept.
#include <cstddef>
#include <string>

enum FileReadResult : int {
  FileReadOk = 0,
  FileCannotOpen = 1,  // missing, a folder, no permission, or a read error part-way
  FileTooLarge = 2,    // more than max_bytes; bytes then holds the first max_bytes + 1
};

// Reads the file into bytes, stopping after max_bytes + 1 bytes so that a file of any size
// (or a device that never ends) costs at most that much memory. Never throws.
FileReadResult ReadFileBytes(const std::string& path, std::size_t max_bytes, std::string& bytes);
