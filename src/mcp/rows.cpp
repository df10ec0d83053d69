#include "mcp/rows.h"

#include "common/drive_path.h"
#include "common/filetime.h"

namespace nimbalo::mcp {

Json stat_row(std::string_view path, const std::optional<platform::FileInfo>& info) {
    Json row = Json::object();
    row["path"] = std::string(path);
    row["name"] = std::string(last_component(path));
    row["exists"] = info.has_value();
    row["is_dir"] = info && info->is_dir;
    row["size"] = info ? info->size : 0;
    row["modified"] = info && info->last_write >= kUnixEpochFiletime ? utc_iso8601_text(info->last_write) : std::string();
    return row;
}

Json index_row(const SearchHit& hit) {
    Json row = Json::object();
    row["path"] = std::string(hit.path);
    row["name"] = std::string(hit.name);
    row["is_dir"] = hit.is_dir;
    row["size"] = hit.size;
    row["modified"] = hit.modified == 0 ? std::string() : utc_iso8601_text(hit.modified);
    return row;
}

Json change_row(const UsnChange& change, std::string reason) {
    Json row = Json::object();
    row["is_dir"] = change.is_dir;
    row["name"] = change.name;
    row["reason"] = std::move(reason);
    row["timestamp"] = change.timestamp == 0 ? std::string() : utc_iso8601_text(change.timestamp);
    return row;
}

}  // namespace nimbalo::mcp
