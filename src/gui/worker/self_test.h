// The MCP self-test of the settings view: start `nimbalo mcp` as a child on pipes, send the
// initialize and tools/list requests in Content-Length framing, and turn what comes back within
// 2,500 ms into one line, e.g.
//     "handshake ok · nimbalo-mcp 0.1.0 · 5 tools: search, get_file_info, list_drives, reindex, recent_changes"
// The pieces are separate so each can be tested: the request frames, the reader of framed replies
// (any byte source), the tally of the replies, and run_self_test, which drives a real child.
// A self-test owns its child and its reader thread; both are gone when it returns.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/channel.h"
#include "common/result.h"
#include "gui/worker/messages.h"

namespace nimbalo::gui {

inline constexpr uint64_t kSelfTestDeadlineMs = 2500;
inline constexpr uint64_t kSelfTestSliceMs = 500;

// "Content-Length: {}\r\n\r\n{}" around compact, key-sorted JSON.
std::string mcp_frame(const nlohmann::json& message);
// The initialize request (id 1) and the tool list request (id 2).
std::string self_test_requests();

// Reads framed messages from a byte source (bytes read, 0 at the end) and sends each parsed
// value to out until the stream ends, a length or body is bad, or out is closed; then closes out.
// Header lines: "Content-Length:" sets the body length (unsigned decimal, optional "+", white
// space trimmed; anything else ends the reader); other non-empty lines are ignored; an empty line
// ends the headers.
using ByteSource = std::function<Result<size_t>(std::span<char>)>;
void read_mcp_replies(const ByteSource& source, Channel<nlohmann::json>& out);

// What the replies said.
class SelfTestTally {
public:
    // Takes one reply; true when the tool list arrived (the waiting ends).
    bool take(const nlohmann::json& reply);
    bool answered() const { return answered_; }
    std::string message() const;

private:
    bool answered_ = false;
    std::optional<std::string> label_;
    std::vector<std::string> tools_;
};

struct SelfTestDeps {
    std::function<bool()> mcp_enabled;
    std::function<std::pair<std::string, std::vector<std::string>>()> command;  // program, arguments
    std::function<void(std::string_view)> log_line;
    std::function<uint64_t()> now_ms;
};

event::SelfTestFinished run_self_test(const SelfTestDeps& deps);

}  // namespace nimbalo::gui
