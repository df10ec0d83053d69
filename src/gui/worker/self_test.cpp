#include "gui/worker/self_test.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "common/text.h"
#include "platform/child_process.h"

namespace nimbalo::gui {

using Json = nlohmann::json;

std::string mcp_frame(const Json& message) {
    const std::string text = message.dump();
    return "Content-Length: " + std::to_string(text.size()) + "\r\n\r\n" + text;
}

std::string self_test_requests() {
    const Json init = {{"jsonrpc", "2.0"},
                       {"id", 1},
                       {"method", "initialize"},
                       {"params",
                        {{"protocolVersion", "2024-11-05"},
                         {"capabilities", Json::object()},
                         {"clientInfo", {{"name", "nimbalo-settings"}, {"version", "0.5.5"}}}}}};
    const Json list = {{"jsonrpc", "2.0"}, {"id", 2}, {"method", "tools/list"}};
    return mcp_frame(init) + mcp_frame(list);
}

namespace {

// Lines and exact byte counts over a byte source, through an 8 KiB buffer.
class BufferedSource {
public:
    explicit BufferedSource(const ByteSource& source) : source_(source) {}

    // One line without its line feed; nothing at the end of the stream or on a read error.
    std::optional<std::string> line() {
        std::string out;
        for (;;) {
            if (pos_ == len_ && !fill()) return std::nullopt;
            const char* start = buf_ + pos_;
            const char* nl = static_cast<const char*>(std::memchr(start, '\n', len_ - pos_));
            if (nl) {
                out.append(start, size_t(nl - start));
                pos_ += size_t(nl - start) + 1;
                return out;
            }
            out.append(start, len_ - pos_);
            pos_ = len_;
        }
    }

    std::optional<std::string> exactly(size_t n) {
        std::string out;
        out.reserve(std::min<size_t>(n, size_t(1) << 20));
        while (out.size() < n) {
            if (pos_ == len_ && !fill()) return std::nullopt;
            const size_t take = std::min(n - out.size(), len_ - pos_);
            out.append(buf_ + pos_, take);
            pos_ += take;
        }
        return out;
    }

private:
    bool fill() {
        auto got = source_(std::span<char>(buf_, sizeof buf_));
        if (!got || *got == 0) return false;
        pos_ = 0;
        len_ = *got;
        return true;
    }

    const ByteSource& source_;
    char buf_[8192];
    size_t pos_ = 0, len_ = 0;
};

}  // namespace

void read_mcp_replies(const ByteSource& source, Channel<Json>& out) {
    BufferedSource in(source);
    for (;;) {
        uint64_t length = 0;
        for (;;) {
            auto line = in.line();
            if (!line) return out.close();
            while (!line->empty() && (line->back() == '\r' || line->back() == '\n')) line->pop_back();
            if (line->empty()) break;
            constexpr std::string_view kHeader = "Content-Length:";
            if (line->starts_with(kHeader)) {
                const std::string_view value = trim_ascii(std::string_view(*line).substr(kHeader.size()));
                if (!parse_u64_plus(value, length)) return out.close();
            }
        }
        auto body = in.exactly(size_t(length));
        if (!body) return out.close();
        Json message = Json::parse(*body, nullptr, /*allow_exceptions=*/false);
        if (message.is_discarded() || !out.send(std::move(message))) return out.close();
    }
}

bool SelfTestTally::take(const Json& reply) {
    if (!reply.is_object()) return false;
    const auto id = reply.find("id");
    if (id == reply.end() || !id->is_number_integer()) return false;
    if (id->get<int64_t>() == 1) {
        answered_ = true;
        const Json::json_pointer info("/result/serverInfo");
        if (reply.contains(info)) {
            const Json& si = reply.at(info);
            const auto name = si.is_object() && si.contains("name") && si["name"].is_string() ? si["name"].get<std::string>() : "?";
            const auto version =
                si.is_object() && si.contains("version") && si["version"].is_string() ? si["version"].get<std::string>() : "";
            label_ = name + " " + version;
        }
        return false;
    }
    if (id->get<int64_t>() == 2) {
        const Json::json_pointer list("/result/tools");
        if (reply.contains(list) && reply.at(list).is_array())
            for (const auto& t : reply.at(list))
                if (t.is_object() && t.contains("name") && t["name"].is_string()) tools_.push_back(t["name"].get<std::string>());
        return true;
    }
    return false;
}

std::string SelfTestTally::message() const {
    if (!answered_) return "no answer from the MCP server (check the log)";
    std::string names;
    for (const auto& t : tools_) names += (names.empty() ? ": " : ", ") + t;
    return "handshake ok \xC2\xB7 " + label_.value_or("nimbalo-mcp") + " \xC2\xB7 " + std::to_string(tools_.size()) +
           " tools" + names;
}

event::SelfTestFinished run_self_test(const SelfTestDeps& deps) {
    if (!deps.mcp_enabled()) return {false, "MCP is disabled \xE2\x80\x94 switch it on first"};
    const auto [program, args] = deps.command();
    auto child = platform::ChildProcess::start(program, args);
    if (!child) return {false, "cannot start " + program + ": " + child.error()};

    Channel<Json> replies;
    std::thread reader([&] {
        read_mcp_replies([&](std::span<char> buf) { return child->read_output(buf); }, replies);
    });
    (void)child->write_input(self_test_requests());  // a child that is gone shows as no answer

    SelfTestTally tally;
    const uint64_t deadline = deps.now_ms() + kSelfTestDeadlineMs;
    for (;;) {
        const uint64_t now = deps.now_ms();
        if (now >= deadline) break;
        const auto wait = std::chrono::milliseconds(std::min(kSelfTestSliceMs, deadline - now));
        auto reply = replies.receive_for(wait);
        if (reply) {
            if (tally.take(*reply)) break;
        } else if (replies.finished()) {
            break;
        }
    }
    child->terminate();
    child->close_input();
    child->wait();
    replies.close();  // a reader still sending ends at its next message
    reader.join();

    const std::string message = tally.message();
    deps.log_line("selftest  " + message);
    return {tally.answered(), message};
}

}  // namespace nimbalo::gui
