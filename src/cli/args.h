// The entry's argument rules: tray flags and the drive argument. Pure.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbalo::cli {

// Remove "--tray", "/tray" and "--startup" (exact) from args; returns whether any was present.
bool take_tray_flags(std::vector<std::string>& args);

// Drive letter from args[i]: C when absent or empty; a-z upper-cased; A-Z kept; anything else C.
char drive_arg(const std::vector<std::string>& args, size_t i);

}  // namespace nimbalo::cli
