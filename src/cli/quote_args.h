// Building a Windows command line from a program and its arguments: the exact inverse of
// split_windows_command_line (cli/args.h), so a child started with CreateProcessW sees the very
// arguments we meant, whatever spaces, quotes and backslashes they hold.
// Pure; thread-safe; linear in the total length.
#pragma once

#include <string>
#include <vector>

#include "common/result.h"

namespace nimbalo::cli {

// The program is always quoted and, by the runtime's rule for the program name, cannot carry
// escapes: a program containing a double quote is refused. An argument is quoted when it is empty
// or holds white space or a quote; inside quotes, backslashes are doubled only where they precede
// a quote (an escaped one or the closing one) and each quote becomes \". Plain arguments are
// copied unchanged. A NUL anywhere is refused: the system would end the line there.
Result<std::string> quote_windows_command_line(const std::string& program, const std::vector<std::string>& args);

// One argument, as it would appear after the program name.
std::string quote_windows_argument(const std::string& arg);

}  // namespace nimbalo::cli
