// The MCP session's status record and its snapshot file `mcp-status.json` in the data folder:
// the only way the launcher learns what a running MCP server is doing. The file is compact JSON
// with seven members in key order (last_error, last_method, last_ms, last_tool, pid, requests,
// session_started) and is overwritten in one write; a reader racing a write sees no snapshot.
// Writes after counted requests are rate-limited to one per 400 ms; errors and session edges
// write at once. Every file failure is swallowed.
// Threads: one writer thread (the server loop); each text field has its own lock and the counter
// is atomic, so write_status may run on any thread. Cost: one small file write per flush.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace nimbalo {

inline constexpr uint64_t kStatusMinIntervalMs = 400;
inline constexpr size_t kLastErrorChars = 200;

class StatusRecord {
public:
    // folder: where mcp-status.json lives (normally data_folder()). clock: milliseconds since the
    // machine started; tests pass a fake one.
    explicit StatusRecord(std::string folder, std::function<uint64_t()> clock = {});
    StatusRecord(const StatusRecord&) = delete;  // one record per session; the locks are not copyable
    StatusRecord& operator=(const StatusRecord&) = delete;

    void write_status();
    // Count a request, remember method and tool name (when given), clear the last error, and
    // write the file unless the last rate-limited write is 400 ms or less ago.
    void note_request(std::string_view method, const std::optional<std::string>& tool);
    // Remember the first 200 Unicode scalar values of the text and write at once.
    void note_error(std::string_view text);
    void set_session_started(std::string text);
    void reset_requests();

    uint64_t requests() const { return requests_.load(std::memory_order_relaxed); }
    std::string path() const;

private:
    std::string get(const std::string& field, std::mutex& lock) const;

    std::string folder_;
    std::function<uint64_t()> clock_;
    std::atomic<uint64_t> requests_{0};
    mutable std::mutex method_lock_, tool_lock_, error_lock_, started_lock_;
    std::string last_method_, last_tool_, last_error_, session_started_;
    uint64_t last_flush_tick_ = 0;  // touched by the single writer thread only
};

// The first max_chars Unicode scalar values of UTF-8 text (the text is sanitized first, so an
// invalid byte counts as one U+FFFD).
std::string first_chars(std::string_view text, size_t max_chars);

// What the launcher reads back; absent or mistyped members read as 0 / "".
struct StatusSnapshot {
    uint64_t pid = 0, requests = 0, last_ms = 0;
    std::string last_method, last_tool, last_error, session_started;
};
// nullopt when the file is missing, unreadable or not a JSON object.
std::optional<StatusSnapshot> read_status();
std::optional<StatusSnapshot> read_status_in(const std::string& folder);

// Milliseconds since the last MCP activity: nullopt without a snapshot or with last_ms 0;
// otherwise now minus last_ms, 0 when negative.
std::optional<uint64_t> activity_age();
std::optional<uint64_t> activity_age_of(const std::optional<StatusSnapshot>& snapshot, uint64_t now_ms);

}  // namespace nimbalo
