// The MCP request loop: read a message, count it, dispatch it, answer it, until input ends or
// the framing breaks. Replies go out in the framing the request came in (a header frame, or one
// line of JSON and "\n") and in request order. Messages without an `id` are notifications in
// JSON-RPC 2.0 and are never answered, though they are counted and logged like any request.
// What is not a request is answered and skipped: unparsable JSON or an oversized line with -32700,
// a batch, a non-object or an id without a method with -32600.
// Activity goes to mcp.log and mcp-status.json in the given folder.
// Not thread-safe: one session per process, run on one thread.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "mcp/frame_reader.h"
#include "mcp/tools.h"
#include "userdata/status.h"

namespace nimbalo::mcp {

inline constexpr const char* kProtocolVersion = "2024-11-05";
inline constexpr const char* kServerName = "nimbalo-mcp";
inline constexpr const char* kServerVersion = "0.1.0";
inline constexpr const char* kProgramVersion = "0.5.5";

struct SessionIo {
    FrameReader& reader;
    // Writes one complete frame; failures are the writer's to ignore.
    std::function<void(std::string_view)> write;
    // Appends one line to the activity log.
    std::function<void(std::string_view)> log;
};

// Runs the whole session after the switch has been checked: start line, status file, the loop,
// the stop line and the last status write. Fails, with the reason, when broken framing ended it.
Status run_session(SessionIo& io, Tools& tools, StatusRecord& status);

// "Content-Length: {n}\r\n\r\n{json}" or "{json}\n".
std::string frame_text(std::string_view json, Framing framing);

}  // namespace nimbalo::mcp
