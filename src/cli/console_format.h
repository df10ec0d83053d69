// Texts the console commands print: sizes ("1.5 KB"), FILETIMEs as UTC ("2024-05-01 13:02:03")
// and journal change lines.
// Pure; no OS call and no locale; thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "mft/usn.h"

namespace nimbalo {

// "{} B" below 1024, else one decimal in KB, MB, GB or TB (nothing above TB).
std::string format_size(uint64_t bytes);

// UTC "{:04}-{:02}-{:02} {:02}:{:02}:{:02}"; 0 gives "-"; a value the system's conversion rejects
// (above 0x7FFFFFFFFFFFFFFF) gives all six fields as zeros.
std::string format_filetime(uint64_t filetime);

// Change line of `recent` and `watch`: "{}  {:<16}  {}\n" with the time text, the reason names
// padded (never cut) to 16 characters and the file name alone.
std::string format_change_line(const UsnChange& change);

}  // namespace nimbalo
