// Windows command lines as text: splitting one into arguments by the system's rules, and building
// one from a program and its arguments as the exact inverse, so a child started with CreateProcessW
// sees the very arguments we meant, whatever spaces, quotes and backslashes they hold.
// Pure (tested on every platform); thread-safe; linear in the total length.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace nimbalo {

// Split a whole command line by the Windows rules (as CommandLineToArgvW and the C runtime do):
// white space separates; double quotes group; 2n backslashes before a quote give n backslashes
// and the quote toggles; 2n+1 give n backslashes and a literal quote; a doubled quote inside a
// quoted run is a literal quote; "" gives an empty argument. The program name (first element)
// follows the simpler rule of the runtime: up to the next space, or quoted without escapes.
std::vector<std::u16string> split_windows_command_line(std::u16string_view line);


// The program is always quoted and, by the runtime's rule for the program name, cannot carry
// escapes: a program containing a double quote is refused. An argument is quoted when it is empty
// or holds white space or a quote; inside quotes, backslashes are doubled only where they precede
// a quote (an escaped one or the closing one) and each quote becomes \". Plain arguments are
// copied unchanged. A NUL anywhere is refused: the system would end the line there.
Result<std::string> quote_windows_command_line(const std::string& program, const std::vector<std::string>& args);

// One argument, as it would appear after the program name.
std::string quote_windows_argument(const std::string& arg);

}  // namespace nimbalo
