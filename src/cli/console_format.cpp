#include "cli/console_format.h"

#include <cstdio>

#include "common/text.h"

namespace nimbalo {

std::string format_size(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static const char* const units[] = {"KB", "MB", "GB", "TB"};
    double x = double(bytes) / 1024.0;
    int unit = 0;
    while (x >= 1024.0 && unit < 3) {
        x /= 1024.0;
        ++unit;
    }
    return fixed(x, 1) + " " + units[unit];
}

std::string format_filetime(uint64_t filetime) {
    if (filetime == 0) return "-";
    int64_t y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (filetime < (uint64_t(1) << 63)) {
        const uint64_t secs = filetime / 10000000;
        // Days since 1601-01-01, shifted to days since 1970-01-01 for the civil conversion.
        const int64_t days = int64_t(secs / 86400) - 134774;
        const uint64_t rem = secs % 86400;
        h = int64_t(rem / 3600);
        mi = int64_t(rem % 3600 / 60);
        s = int64_t(rem % 60);
        // Howard Hinnant's days-to-civil algorithm.
        const int64_t z = days + 719468;
        const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
        const int64_t doe = z - era * 146097;
        const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
        const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
        const int64_t mp = (5 * doy + 2) / 153;
        d = doy - (153 * mp + 2) / 5 + 1;
        mo = mp < 10 ? mp + 3 : mp - 9;
        y = yoe + era * 400 + (mo <= 2 ? 1 : 0);
    }
    char buf[160];
    std::snprintf(buf, sizeof buf, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", (long long)y, (long long)mo,
                  (long long)d, (long long)h, (long long)mi, (long long)s);
    return buf;
}

std::string hit_line(const SearchHit& hit) {
    std::string line = pad_left(format_size(hit.size), 10);
    line += "  ";
    line += format_filetime(hit.modified);
    line += "  ";
    line += hit.path;
    if (hit.is_dir) line += '\\';
    line += '\n';
    return line;
}

std::string change_line(const UsnChange& change, const std::string& reasons) {
    return format_filetime(change.timestamp) + "  " + pad_right(reasons, 16) + "  " + change.name + "\n";
}

}  // namespace nimbalo
