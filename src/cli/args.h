// Command-line reading shared by the entry and its tests: Windows command-line splitting
// (pure, so it is tested on every platform), tray flags and the drive argument.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nimbalo::cli {

// Split a whole command line by the Windows rules (as CommandLineToArgvW and the C runtime do):
// white space separates; double quotes group; 2n backslashes before a quote give n backslashes
// and the quote toggles; 2n+1 give n backslashes and a literal quote; a doubled quote inside a
// quoted run is a literal quote; "" gives an empty argument. The program name (first element)
// follows the simpler rule of the runtime: up to the next space, or quoted without escapes.
std::vector<std::u16string> split_windows_command_line(std::u16string_view line);

// Remove "--tray", "/tray" and "--startup" (exact) from args; returns whether any was present.
bool take_tray_flags(std::vector<std::string>& args);

// Drive letter from args[i]: C when absent or empty; a-z upper-cased; A-Z kept; anything else C.
char drive_arg(const std::vector<std::string>& args, size_t i);

}  // namespace nimbalo::cli
