// `nimbalo mcp`: the switch, then one server session on standard input and output.
#include <mutex>

#include "mcp/mcp_command.h"
#include "mcp/index_backend.h"
#include "mcp/server.h"
#include "mcp/service_link.h"
#include "mcp/tools.h"
#include "userdata/activity_log.h"
#include "userdata/settings.h"
#include "userdata/status.h"
#include "platform/console.h"
#include "platform/stdio.h"

namespace nimbalo {

namespace {
class StdinSource final : public mcp::ByteSource {
public:
    Result<size_t> read(std::span<char> buf) override { return platform::read_stdin(buf); }
};
}  // namespace

Status cmd_mcp() {
    const std::string folder = data_folder();
    if (!mcp_enabled_in(folder)) {
        log_line_in(folder, "start  refused: MCP is disabled in the launcher's settings");
        platform::write_stderr("nimbalo: the MCP server is disabled (Nimbalo tray icon -> Settings)\n");
        return {};
    }
    platform::set_binary_stdio();
    StdinSource stdin_source;
    mcp::FrameReader reader(stdin_source);
    std::mutex stdout_lock;
    mcp::SessionIo io{
        reader,
        [&](std::string_view frame) {
            std::lock_guard<std::mutex> g(stdout_lock);
            (void)platform::write_stdout_all(frame);  // a client that went away is seen as end of input
        },
        [&](std::string_view line) { log_line_in(folder, line); },
    };
    mcp::LoopbackService service([&](std::string_view line) { log_line_in(folder, line); });
    mcp::Tools tools(mcp::default_index_backend(), service);
    StatusRecord status(folder);
    return mcp::run_session(io, tools, status);
}

}  // namespace nimbalo
