#pragma once
// The Json type alone, for headers that only pass values along: nlohmann-json's body costs
// each file that includes it seconds of compiling.
#include <nlohmann/json_fwd.hpp>

// Objects keep their members in the order they were added.
using Json = nlohmann::ordered_json;
