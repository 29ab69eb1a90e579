#pragma once
// The files the tool writes (a read's image, info's --image-out) are replaced whole or not at
// all: the bytes go to a temporary file beside the target, reach the disk, and only then take
// its name. A full disk or a failed write leaves the old file as it was and nothing partial
// behind. One file per platform (replace_file_posix.cpp, replace_file_win32.cpp).
#include <string>

// Whether ReplaceWhole could write path, for a command to ask before a long read: the folder
// exists and takes a new file, and path, where it exists, is a regular file. A directory, a
// FIFO or a device is refused: renaming over it would replace it, not write into it. False,
// with "cannot write PATH: why" in error.
bool CheckReplaceable(const std::string& path, std::string& error);

// Makes path hold exactly bytes: written to a temporary in path's folder, flushed to the disk
// and renamed over path, which keeps its permissions (a new file gets the usual ones). A
// symbolic link keeps pointing at the file it names, which is replaced. False, with
// "cannot write PATH: why" in error, when anything failed: path is then untouched and the
// temporary gone. (Not ReplaceFile: windows.h takes that name for a macro.)
bool ReplaceWhole(const std::string& path, const std::string& bytes, std::string& error);

// Whether the two paths name one file: the same text, or the same file on disk.
bool SameFile(const std::string& a, const std::string& b);
