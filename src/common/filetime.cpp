#include "common/filetime.h"

#include <cstdio>

namespace nimbalo {

namespace {

constexpr int64_t kDaysFrom1601To1970 = 134774;

// Days since 1970-01-01 to a civil date: Howard Hinnant's days-to-civil algorithm, exact for any
// day count a 64-bit FILETIME can give.
void civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = int64_t(yoe) + era * 400 + (m <= 2 ? 1 : 0);
}

std::string format(uint64_t filetime, const char* pattern) {
    const UtcTime t = utc_from_filetime(filetime);
    char buf[64];
    std::snprintf(buf, sizeof buf, pattern, static_cast<long long>(t.year), t.month, t.day, t.hour, t.minute, t.second);
    return buf;
}

}  // namespace

UtcTime utc_from_filetime(uint64_t filetime) {
    const uint64_t secs = filetime / 10000000u;
    const unsigned rem = unsigned(secs % 86400);
    UtcTime t;
    civil_from_days(int64_t(secs / 86400) - kDaysFrom1601To1970, t.year, t.month, t.day);
    t.hour = rem / 3600;
    t.minute = rem / 60 % 60;
    t.second = rem % 60;
    return t;
}

std::string utc_date_time_text(uint64_t filetime) { return format(filetime, "%04lld-%02u-%02u %02u:%02u:%02u"); }

std::string utc_iso8601_text(uint64_t filetime) { return format(filetime, "%04lld-%02u-%02uT%02u:%02u:%02uZ"); }

}  // namespace nimbalo
