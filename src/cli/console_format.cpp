#include "cli/console_format.h"

#include <cstdio>

#include "common/text.h"
#include "mft/usn_batch.h"

namespace nimbalo {

std::string format_size(uint64_t s) {
    if (s < 1024) return std::to_string(s) + " B";
    static const char* units[] = {"KB", "MB", "GB", "TB"};
    double x = double(s) / 1024.0;
    int u = 0;
    while (x >= 1024.0 && u < 3) {
        x /= 1024.0;
        ++u;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f %s", x, units[u]);
    return buf;
}

std::string format_filetime(uint64_t ft) {
    if (ft == 0) return "-";
    int64_t year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (ft <= uint64_t(INT64_MAX)) {
        const uint64_t secs = ft / 10000000;
        second = int64_t(secs % 60), minute = int64_t(secs / 60 % 60), hour = int64_t(secs / 3600 % 24);
        // Civil date from days since 1970-01-01 (proleptic Gregorian; H. Hinnant's algorithm).
        const int64_t z = int64_t(secs / 86400) - 134774 + 719468;
        const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const int64_t doe = z - era * 146097;
        const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const int64_t mp = (5 * doy + 2) / 153;
        day = doy - (153 * mp + 2) / 5 + 1;
        month = mp < 10 ? mp + 3 : mp - 9;
        year = yoe + era * 400 + (month <= 2);
    }
    char buf[128];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", (long long)year, (long long)month,
                  (long long)day, (long long)hour, (long long)minute, (long long)second);
    return buf;
}

std::string format_change_line(const UsnChange& c) {
    return format_filetime(c.timestamp) + "  " + pad_right(reason_names(c.reason), 16) + "  " + c.name + "\n";
}

}  // namespace nimbalo
