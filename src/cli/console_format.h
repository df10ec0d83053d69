// Texts the console commands print: sizes ("1.5 KB") and FILETIMEs as UTC ("2024-05-01 13:02:03").
// Pure; no OS call and no locale; thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace nimbalo {

// "{} B" below 1024, else one decimal in KB, MB, GB or TB (nothing above TB).
std::string format_size(uint64_t bytes);

// UTC "{:04}-{:02}-{:02} {:02}:{:02}:{:02}"; 0 gives "-"; a value the system's conversion rejects
// (above 0x7FFFFFFFFFFFFFFF) gives all six fields as zeros.
std::string format_filetime(uint64_t filetime);

}  // namespace nimbalo
