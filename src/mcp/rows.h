// The JSON rows the MCP tools answer with, and the small text rules behind them: UTC time stamps
// from FILETIMEs, drive paths, and the query's percent-encoding for the service.
// Pure functions except stat_row, which asks the file system (one metadata read per call).
// Thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "index/index.h"
#include "mcp/message.h"
#include "mft/usn.h"
#include "platform/file_info.h"

namespace nimbalo::mcp {

// FILETIME (100 ns ticks since 1601-01-01 UTC) as "YYYY-MM-DDTHH:MM:SSZ"; years past 9999 get more
// digits.
std::string utc_text(uint64_t filetime);

// FILETIME of 1970-01-01 00:00:00 UTC.
inline constexpr uint64_t kUnixEpochFiletime = 116444736000000000ull;

// "X:\..." with X an ASCII letter. Only such paths are ever probed: a UNC path would make the
// machine contact (and authenticate to) another host.
bool is_drive_path(std::string_view path);

// The last component of a backslash path, or the whole path when it has none.
std::string_view last_component(std::string_view path);

// Every byte outside A-Z a-z 0-9 - . _ ~ as "%XX" (upper-case hex).
std::string percent_encode(std::string_view text);

// A service row: exists, is_dir, modified (UTC, empty before 1970 or when unknown), name, path, size.
Json stat_row(std::string_view path, const std::optional<platform::FileInfo>& info);
// An index row: is_dir, modified (empty for a zero time), name, path, size.
Json index_row(const SearchHit& hit);
// A change row: is_dir, name, reason, timestamp (empty for a zero time).
Json change_row(const UsnChange& change, std::string reason);

}  // namespace nimbalo::mcp
