// The process entry's dispatch: from the argument list (program name dropped) to the role
// that implements it, and from the role's outcome to the exit status. Console attach and the
// single-instance check go through the platform layer.
#pragma once

#include <string>
#include <vector>

namespace nimbalo::cli {

inline constexpr const char* kVersion = "0.5.5";

// The 17-line usage text, each line ending in a line feed.
const std::string& usage_text();

// Run the role chosen by args; returns the process exit status.
int run_entry(std::vector<std::string> args);

}  // namespace nimbalo::cli
