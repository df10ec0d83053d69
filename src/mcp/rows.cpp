#include "mcp/rows.h"

#include <cstdio>

namespace nimbalo::mcp {

namespace {
// Days since 1970-01-01 to a civil date (proleptic Gregorian), valid for any day count we can get.
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
constexpr int64_t kDaysFrom1601To1970 = 134774;
}  // namespace

std::string utc_text(uint64_t filetime) {
    const uint64_t secs = filetime / 10000000u;
    const int64_t days = int64_t(secs / 86400) - kDaysFrom1601To1970;
    const unsigned rem = unsigned(secs % 86400);
    int64_t y = 0;
    unsigned m = 0, d = 0;
    civil_from_days(days, y, m, d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02u:%02u:%02uZ", static_cast<long long>(y), m, d, rem / 3600,
                  rem / 60 % 60, rem % 60);
    return buf;
}

bool is_drive_path(std::string_view path) {
    if (path.size() < 3 || path[1] != ':' || path[2] != '\\') return false;
    const char c = path[0];
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

std::string_view last_component(std::string_view path) {
    const size_t cut = path.find_last_of('\\');
    if (cut == std::string_view::npos || cut + 1 >= path.size()) return path;
    return path.substr(cut + 1);
}

std::string percent_encode(std::string_view text) {
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += ch;
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

Json stat_row(std::string_view path, const std::optional<platform::FileInfo>& info) {
    Json row = Json::object();
    row["path"] = std::string(path);
    row["name"] = std::string(last_component(path));
    row["exists"] = info.has_value();
    row["is_dir"] = info && info->is_dir;
    row["size"] = info ? info->size : 0;
    row["modified"] = info && info->last_write >= kUnixEpochFiletime ? utc_text(info->last_write) : std::string();
    return row;
}

Json index_row(const SearchHit& hit) {
    Json row = Json::object();
    row["path"] = std::string(hit.path);
    row["name"] = std::string(hit.name);
    row["is_dir"] = hit.is_dir;
    row["size"] = hit.size;
    row["modified"] = hit.modified == 0 ? std::string() : utc_text(hit.modified);
    return row;
}

Json change_row(const UsnChange& change, std::string reason) {
    Json row = Json::object();
    row["is_dir"] = change.is_dir;
    row["name"] = change.name;
    row["reason"] = std::move(reason);
    row["timestamp"] = change.timestamp == 0 ? std::string() : utc_text(change.timestamp);
    return row;
}

}  // namespace nimbalo::mcp
