#pragma once
// Where a program lies, read from the system: the program file, GetTime.dll
// beside it, their folder and each folder above it with their owners and
// access lists, and the kind of drive they are on. A program started with more
// rights than its users have must come from a place only trusted accounts can
// change (core/PlaceRules.h). Texts are ANSI.
#include <optional>
#include <string>

#include "core/PlaceRules.h"

namespace pwg {

// The place of the program at this path, as the rule takes it.
Place ReadPlace(const std::string& programPath);

// What makes the place unsafe, "<path>: <why>", or nothing when it is safe.
std::optional<std::string> UnsafePlace(const std::string& programPath);

}  // namespace pwg
