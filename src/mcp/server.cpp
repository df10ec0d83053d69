#include "mcp/server.h"

#include <chrono>

#include "common/text.h"
#include "mcp/message.h"
#include "mcp/tool_list.h"
#include "userdata/activity_log.h"
#include "platform/system.h"

namespace nimbalo::mcp {

namespace {

using Clock = std::chrono::steady_clock;

Json initialize_result() {
    Json r = Json::object();
    r["capabilities"] = Json{{"tools", Json::object()}};
    r["protocolVersion"] = kProtocolVersion;
    r["serverInfo"] = Json{{"name", kServerName}, {"version", kServerVersion}};
    return r;
}

Json tool_result(std::string text, bool is_error) {
    Json item = Json::object();
    item["text"] = std::move(text);
    item["type"] = "text";
    Json r = Json::object();
    r["content"] = Json::array({std::move(item)});
    r["isError"] = is_error;
    return r;
}

// Client-chosen texts (method and tool names) and error messages go into a line-based log that
// the user reads: a line break inside one would let a client forge whole log lines, and a name of
// megabytes would fill the log. They are cut as the status file's texts are.
std::string one_line(std::string_view text) {
    std::string out = first_chars(text, kLastErrorChars);
    for (char& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return out;
}

}  // namespace

std::string frame_text(std::string_view json, Framing framing) {
    std::string out;
    if (framing == Framing::header) {
        out.reserve(json.size() + 32);
        out += "Content-Length: ";
        out += std::to_string(json.size());
        out += "\r\n\r\n";
        out += json;
    } else {
        out.reserve(json.size() + 1);
        out += json;
        out += '\n';
    }
    return out;
}

Status run_session(SessionIo& io, Tools& tools, StatusRecord& status) {
    const std::string pid = std::to_string(platform::process_id());
    status.set_session_started(local_time_text());
    status.reset_requests();
    io.log("start  pid=" + pid + "  version=" + kProgramVersion);
    status.write_status();

    while (auto frame = io.reader.next()) {
        // Messages that are not requests get a JSON-RPC error with a null id (the id cannot be
        // known) and the session goes on with the next message.
        const auto refuse = [&](int code, const char* message, std::string why) {
            io.write(frame_text(compact(error_reply(nullptr, code, message)), frame->framing));
            io.log(why);
        };
        if (frame->oversized) {
            refuse(-32700, "Parse error", "parse error: a message longer than " + std::to_string(kMaxFrameBytes) + " bytes");
            continue;
        }
        auto body = parse_body(frame->body);
        if (!body) {
            refuse(-32700, "Parse error", "parse error: not one JSON value");
            continue;
        }
        if (body->is_array()) {
            refuse(-32600, "Invalid Request", "invalid request: batches are not supported");
            continue;
        }
        if (!body->is_object()) {
            refuse(-32600, "Invalid Request", "invalid request: not an object");
            continue;
        }
        const Request req = decode_request(*body);
        if (req.has_id && !req.has_method) {
            io.write(frame_text(compact(error_reply(req.id, -32600, "Invalid Request")), frame->framing));
            io.log("invalid request: no method");
            continue;
        }
        if (req.method == "notifications/initialized") continue;
        status.note_request(req.method, req.tool);

        std::optional<Json> reply;
        if (req.method == "ping") {
            reply = result_reply(req.id, Json::object());
        } else if (req.method == "initialize") {
            reply = result_reply(req.id, initialize_result());
            io.log("initialize  ok");
        } else if (req.method == "tools/list") {
            reply = result_reply(req.id, tool_list());
            io.log("tools/list  ok (5 tools)");
        } else if (req.method == "tools/call") {
            const std::string name = req.tool.value_or("");
            const auto start = Clock::now();
            auto out = tools.call(name, req.arguments);
            if (out) {
                reply = result_reply(req.id, tool_result(std::move(*out), false));
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                io.log("tools/call " + one_line(name) + "  ok  " + fixed(ms, 1) + " ms");
            } else {
                reply = result_reply(req.id, tool_result("error: " + out.error(), true));
                status.note_error(out.error());
                io.log("tools/call " + one_line(name) + "  error: " + one_line(out.error()));
            }
        } else if (req.method == "notifications/cancelled") {
            // counted, never answered
        } else {
            reply = error_reply(req.id, -32601, "method not found: " + req.method);
            io.log("unknown method: " + one_line(req.method));
        }
        if (reply && req.has_id) io.write(frame_text(compact(*reply), frame->framing));
    }

    const std::string& reason = io.reader.end_reason();
    io.log("stop   pid=" + pid + "  " + one_line(reason));
    status.write_status();
    if (reason != kInputEnded) return fail("mcp: the session ended on " + reason);
    return {};
}

}  // namespace nimbalo::mcp
