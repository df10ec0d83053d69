// Console renderings of sizes, FILETIMEs, result hits and journal changes. Pure functions.
#pragma once

#include <cstdint>
#include <string>

#include "index/index.h"
#include "mft/usn.h"

namespace nimbalo {

// "{} B" below 1024, else one decimal and the largest unit up to TB ("1.0 KB", "5120.0 TB").
std::string format_size(uint64_t bytes);

// FILETIME as UTC "YYYY-MM-DD HH:MM:SS"; 0 gives "-"; a value the system cannot convert
// (at or above 2^63) prints all fields as zeros.
std::string format_filetime(uint64_t filetime);

// "{:>10}  {}  {}{}": size, time, path, a backslash for directories; with a line feed.
std::string hit_line(const SearchHit& hit);

// "{}  {:<16}  {}": time, reason names padded (never cut), name; with a line feed.
std::string change_line(const UsnChange& change, const std::string& reasons);

}  // namespace nimbalo
