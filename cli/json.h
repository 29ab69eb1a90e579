#pragma once
// The command line's --json output: nlohmann::json values, one compact line each.
#include <string>

#include <nlohmann/json.hpp>

#include "cli/json_type.h"

// The value as compact JSON text. Its strings may hold any bytes: each byte that is not part
// of valid UTF-8 (a path in a Windows code page) is written as \uDCXX, XX its value, so that
// the output stays valid JSON and a reader that knows the convention (Python's
// surrogateescape) gets the exact bytes back.
std::string JsonDump(Json value);

// Seconds to the hundredth, as the result events and the chip log carry them.
double JsonSeconds(double seconds);
