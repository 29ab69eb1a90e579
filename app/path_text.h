#pragma once
// Paths as the dialogs show them (Windows paths: backslash separators).
#include <string>

// The characters after the last backslash.
std::string BaseFileName(const std::string& path);

// Display text of a path in the Select File dialog: a long path with more than three folders
// keeps its first three and its file name around " ... ".
std::string ShortenPath(const std::string& path);
