#include "gui/views/result_rows.h"

#include <algorithm>
#include <cstdio>

#include "common/filetime.h"
#include "common/unicode.h"

namespace nimbalo::gui {

void split_path(std::string_view path, std::string& folder, std::string& name) {
    const size_t cut = path.rfind('\\');
    if (cut == std::string_view::npos) {
        folder.clear();
        name.assign(path);
        return;
    }
    folder.assign(path.substr(0, cut));
    if (cut + 1 == path.size())
        name.assign(path);  // a root such as "C:\"
    else
        name.assign(path.substr(cut + 1));
}

std::string size_text(uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static const char* const units[] = {"B", "KB", "MB", "GB", "TB"};
    double v = static_cast<double>(bytes);
    int unit = 0;
    while (v >= 1024 && unit < 4) {
        v /= 1024;
        ++unit;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, v < 100 ? "%.1f %s" : "%.0f %s", v, units[unit]);
    return buf;
}

std::string date_text(uint64_t filetime) {
    if (filetime == 0) return {};
    return utc_date_time_text(filetime).substr(0, 16);
}

ResultRow make_row(const std::string& path, const DiskInspector& inspect) {
    ResultRow row;
    row.path = path;
    split_path(path, row.folder, row.name);
    row.sort_name = to_lower_full(row.name);
    const std::optional<DiskEntry> entry = inspect ? inspect(path) : std::nullopt;
    if (!entry) {
        row.size_text = "Missing";
        row.missing = true;
        return row;
    }
    row.modified = entry->last_write < kUnixEpochFiletime ? 0 : entry->last_write;
    const bool surrogate = (entry->attributes & kAttributeReparsePoint) && (entry->reparse_tag & kReparseTagNameSurrogate);
    row.is_folder = (entry->attributes & kAttributeDirectory) && !surrogate;
    if (row.is_folder) {
        row.size_text = "Folder";
    } else {
        row.size = (entry->attributes & kAttributeDirectory) ? 0 : entry->size;
        row.size_text = size_text(row.size);
    }
    row.date_text = date_text(row.modified);
    return row;
}

std::vector<ResultRow> make_rows(const std::vector<std::string>& paths, const DiskInspector& inspect) {
    std::vector<ResultRow> rows;
    rows.reserve(paths.size());
    for (const std::string& p : paths) rows.push_back(make_row(p, inspect));
    return rows;
}

uint32_t sort_rows(std::vector<ResultRow>& rows, SortColumn column, bool descending, uint32_t selection) {
    const bool beyond = selection >= rows.size();
    const std::string selected = beyond ? std::string() : rows[selection].path;
    auto less = [column](const ResultRow& a, const ResultRow& b) {
        switch (column) {
            case SortColumn::Size: return a.size < b.size;
            case SortColumn::Modified: return a.modified < b.modified;
            case SortColumn::Name: break;
        }
        return a.sort_name < b.sort_name;  // byte-wise, shorter first on a common prefix
    };
    if (descending)
        std::stable_sort(rows.begin(), rows.end(), [&](const ResultRow& a, const ResultRow& b) { return less(b, a); });
    else
        std::stable_sort(rows.begin(), rows.end(), less);
    if (beyond) return rows.empty() ? 0 : static_cast<uint32_t>(rows.size() - 1);
    for (size_t i = 0; i < rows.size(); ++i)
        if (rows[i].path == selected) return static_cast<uint32_t>(i);
    return 0;
}

}  // namespace nimbalo::gui
