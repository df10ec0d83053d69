// Fuzz target: the MCP server's input side, from raw standard-input bytes to decoded requests and
// the replies written for them. The first byte picks how the bytes trickle in (pieces of 1 to 256)
// and whether a small byte cap is used, so the cap paths are reachable with short inputs.
// Invariants checked: no body or line exceeds the cap, a line message holds no line feed, bodies
// never add up to more than the input, every message consumes input, an oversized line keeps
// nothing, the session ends with a reason, and every decoded request can be answered without throwing.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "mcp/frame_reader.h"
#include "mcp/message.h"
#include "mcp/server.h"

namespace {

class BytesSource final : public nimbalo::mcp::ByteSource {
public:
    BytesSource(const uint8_t* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}
    nimbalo::Result<size_t> read(std::span<char> buf) override {
        size_t n = std::min({buf.size(), piece_, size_ - pos_});
        for (size_t i = 0; i < n; ++i) buf[i] = char(data_[pos_ + i]);
        pos_ += n;
        return n;
    }

private:
    const uint8_t* data_;
    size_t size_, piece_, pos_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > (1 << 20)) return 0;  // bigger inputs only repeat what 1 MiB shows
    const size_t piece = size_t(data[0] & 0x7f) * 2 + 1;
    const size_t cap = (data[0] & 0x80) ? 64 : nimbalo::mcp::kMaxFrameBytes;
    BytesSource src(data + 1, size - 1, piece);
    nimbalo::mcp::FrameReader reader(src, cap, 1 + (data[0] & 0x3f));
    size_t total = 0, frames = 0;
    while (auto frame = reader.next()) {
        if (++frames > size + 1) std::abort();  // every message consumes input
        if (frame->body.size() > cap) std::abort();
        if (frame->oversized && (!frame->body.empty() || frame->framing != nimbalo::mcp::Framing::line)) std::abort();
        if (frame->framing == nimbalo::mcp::Framing::line && frame->body.find('\n') != std::string::npos) std::abort();
        total += frame->body.size();
        if (total > size) std::abort();
        auto body = nimbalo::mcp::parse_body(frame->body);
        if (!body) continue;  // answered with a parse error; the session goes on
        const auto req = nimbalo::mcp::decode_request(*body);
        const auto reply = nimbalo::mcp::error_reply(req.id, -32601, "method not found: " + req.method);
        const std::string text = nimbalo::mcp::frame_text(nimbalo::mcp::compact(reply), frame->framing);
        if (text.empty()) std::abort();
        (void)nimbalo::mcp::pretty(req.arguments);
    }
    if (reader.end_reason().empty()) std::abort();
    return 0;
}
