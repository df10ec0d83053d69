// FILETIMEs (100 ns ticks since 1601-01-01 UTC, as NTFS, the journal and Windows keep them) as
// calendar dates and as text. Proleptic Gregorian calendar, UTC; no time zones, no leap seconds.
// Pure; thread-safe.
#pragma once

#include <cstdint>
#include <string>

namespace nimbalo {

// FILETIME of 1970-01-01 00:00:00 UTC.
inline constexpr uint64_t kUnixEpochFiletime = 116444736000000000ull;

struct UtcTime {
    int64_t year = 0;
    unsigned month = 0, day = 0, hour = 0, minute = 0, second = 0;
};

// Valid for every 64-bit value (years past 9999 included).
UtcTime utc_from_filetime(uint64_t filetime);

// "YYYY-MM-DD HH:MM:SS"; years past 9999 get more digits.
std::string utc_date_time_text(uint64_t filetime);
// "YYYY-MM-DDTHH:MM:SSZ" (ISO 8601); years past 9999 get more digits.
std::string utc_iso8601_text(uint64_t filetime);

}  // namespace nimbalo
