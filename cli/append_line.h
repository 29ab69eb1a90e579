#pragma once
// A line added to the end of a shared file (a production log), whole or not at all: each goes
// out in one append, so processes writing the same file never interleave within a line. One
// file per platform (append_line_posix.cpp, append_line_win32.cpp).
#include <string>

// Creates path when missing and appends line and a line break; never truncates what was there.
// A line the disk took only in part is cut off again, so the next starts on a line of its own.
// "" "" appends nothing and only checks that the file can be written. False, with why in error,
// on failure.
bool AppendLine(const std::string& path, const std::string& line, std::string& error);
