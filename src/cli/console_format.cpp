#include "cli/console_format.h"

#include "common/filetime.h"
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
    // Values past the signed range are what a corrupt record gives: shown as all zeros, as the
    // system's own conversion would refuse them.
    if (filetime >= (uint64_t(1) << 63)) return "0000-00-00 00:00:00";
    return utc_date_time_text(filetime);
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
