#pragma once
// Just enough JSON writing for the command line's --json output.
#include <string>

// The text as a JSON string literal, quotes included. Control characters are escaped; bytes
// that are not valid UTF-8 (a path in a Windows code page) are written as \u00XX, their
// Latin-1 reading, so that the output stays valid JSON.
std::string JsonString(const std::string& text);
