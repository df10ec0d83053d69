// The console index commands: each indexes a drive in-process and prints to standard output,
// timings to standard error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/result.h"

namespace nimbalo {

Status cmd_build(char drive);
Status cmd_search(const std::string& query, char drive, bool path_mode);
Status cmd_prefix(const std::string& prefix, char drive);
Status cmd_recent(uint64_t n, char drive);
Status cmd_watch(char drive);
Status cmd_drives();

}  // namespace nimbalo
