// The five MCP tools behind `tools/call`: search, get_file_info, list_drives, reindex and
// recent_changes. Each answers with one JSON object rendered as pretty text, or fails with one
// message that the server turns into an isError result.
// The service is asked first, but only for drive C, the one drive it indexes; otherwise, and
// whenever it does not answer usably, the tools work on an index of their own, built on first
// need and kept for the session (one drive at a time; the last indexed drive is the default).
// The in-process path needs raw volume access (administrator rights on Windows).
// Not thread-safe: the server runs one tool at a time on one thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "index/index.h"
#include "mcp/index_backend.h"
#include "mcp/message.h"
#include "mcp/service_link.h"
#include "platform/file_info.h"

namespace nimbalo::mcp {

// The service caps its searches at this; the in-process fallback keeps the same bound.
inline constexpr uint64_t kMaxSearchLimit = 1000;
inline constexpr uint32_t kSearchTimeoutMs = 8000;
inline constexpr uint32_t kReindexTimeoutMs = 3000;

using FileProbe = std::function<std::optional<platform::FileInfo>(std::string_view path)>;

class Tools {
public:
    // service: borrowed, must outlive the Tools. probe defaults to platform::file_info.
    Tools(IndexBackend backend, ServiceLink& service, FileProbe probe = {});
    Tools(const Tools&) = delete;  // owns the session's index cache, which may be large
    Tools& operator=(const Tools&) = delete;

    // Run one tool. Unknown names fail with "unknown tool: {}".
    Result<std::string> call(std::string_view name, const Json& arguments);

    // The drive the cache holds or was last built for ('C' at first).
    char cache_drive() const { return cache_letter_; }
    bool cache_holds_index() const { return cache_.has_value(); }

private:
    Result<Json> search(const Json& args);
    Result<Json> get_file_info(const Json& args);
    Json list_drives();
    Result<Json> reindex(const Json& args);
    Result<Json> recent_changes(const Json& args);

    char drive_arg(const Json& args) const;
    // Build when the cache is empty or holds another drive; a failure leaves the cache as it was.
    Status ensure_index(char letter);
    // Always build and replace; returns "indexed {}: ..." on success.
    Result<std::string> build_into_cache(char letter);

    IndexBackend backend_;
    ServiceLink& service_;
    FileProbe probe_;
    std::optional<Index> cache_;
    char cache_letter_ = 'C';
};

}  // namespace nimbalo::mcp
