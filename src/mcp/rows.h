// The JSON rows the MCP tools answer with: a file on disk, an index hit, a journal change.
// Pure functions; stat_row takes what the file system said about the path.
// Thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "index/index.h"
#include "mcp/message.h"
#include "mft/usn.h"
#include "platform/file_info.h"

namespace nimbalo::mcp {

// A service row: exists, is_dir, modified (UTC, empty before 1970 or when unknown), name, path, size.
Json stat_row(std::string_view path, const std::optional<platform::FileInfo>& info);
// An index row: is_dir, modified (empty for a zero time), name, path, size.
Json index_row(const SearchHit& hit);
// A change row: is_dir, name, reason, timestamp (empty for a zero time).
Json change_row(const UsnChange& change, std::string reason);

}  // namespace nimbalo::mcp
