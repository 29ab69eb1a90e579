#pragma once
// Just enough JSON writing for the command line's --json output.
#include <string>

// The text as a JSON string literal, quotes included. Control characters are escaped; each
// byte that is not part of valid UTF-8 (a path in a Windows code page) is written as \uDCXX,
// XX its value, so that the output stays valid JSON and a reader that knows the convention
// (Python's surrogateescape) gets the exact bytes back.
std::string JsonString(const std::string& text);
