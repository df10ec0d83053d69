// The per-user data folder and the activity log `mcp.log` in it: the user-visible history of
// what the MCP server, the launcher and the updater did. One line per event,
// "{local date} {local time}  {text}", rotated at 196,608 bytes keeping mcp.log.1 .. mcp.log.3.
// Every file error is swallowed: logging never fails its caller. Several processes may append;
// nothing coordinates them beyond the system's append semantics. Thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nimbalo {

inline constexpr uint64_t kLogRotateBytes = 196608;
inline constexpr int kLogKeepFiles = 3;

// LOCALAPPDATA joined with "Nimbalo"; without LOCALAPPDATA: on Windows the temporary folder, on
// Linux $XDG_DATA_HOME (default ~/.local/share), joined with "Nimbalo".
std::string data_folder();

// Local wall-clock time as "YYYY-MM-DD HH:MM:SS" (log lines, the MCP session start).
std::string local_time_text();

// Append one event line to mcp.log, rotating first when it has reached kLogRotateBytes.
void log_line(std::string_view text);

// The same in a given folder (tests).
void log_line_in(const std::string& folder, std::string_view text);

}  // namespace nimbalo
