// FrameReader: splits the MCP server's standard input into messages. Two framings share one
// stream, chosen per message:
//  - header framing: header lines, a blank line, then exactly Content-Length bytes of body. The
//    last valid "Content-Length:" (case-sensitive, optional "+", decimal) before the blank line
//    decides; an invalid value clears it; other headers are ignored.
//  - line framing (what stdio clients of protocol 2024-11-05 and later send): outside a header
//    block, a line whose first non-blank character is '{' is one whole message.
// Trailing "\r" and "\n" are stripped from every line, so CRLF input is fine.
// Outside a header block, blank lines are skipped and any line that does not begin a header
// ("Name: value") is a line message, so a line of garbage or a JSON array is one message for the
// server to refuse, never the start of a header block that would swallow the next request. A line
// above the byte cap there is skipped up to its line feed without being kept and is reported as
// an oversized message. Within a header block nothing can be resynchronised: the session ends
// (next() returns nullopt, end_reason() says why) on a header line that is not UTF-8 or above the
// cap, a blank line without a valid length, an announced body above the cap (refused before
// anything is allocated) and a short body; and, anywhere, on end of input or a read error.
// Not thread-safe; one reader per stream. Cost: every byte is copied once into the buffer and
// once into the message.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>

#include "common/result.h"

namespace nimbalo::mcp {

inline constexpr size_t kMaxFrameBytes = size_t(16) << 20;

// Where the bytes come from: standard input in the server, a string in tests and the fuzzer.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes read into buf (0 = end of input) or an error.
    virtual Result<size_t> read(std::span<char> buf) = 0;
};

enum class Framing { header, line };

struct Frame {
    std::string body;
    Framing framing = Framing::header;
    bool oversized = false;  // a line above the cap, skipped: body is empty
};

inline constexpr const char* kInputEnded = "stdin closed";

class FrameReader {
public:
    explicit FrameReader(ByteSource& source, size_t max_bytes = kMaxFrameBytes, size_t chunk = 64 * 1024);
    FrameReader(const FrameReader&) = delete;  // holds a reference to its source and a partial buffer
    FrameReader& operator=(const FrameReader&) = delete;

    // The next message, or nullopt when the session has to end.
    std::optional<Frame> next();
    // Why next() returned nullopt: kInputEnded, or what broke the framing.
    const std::string& end_reason() const { return end_reason_; }

private:
    enum class Fill { more, end };
    enum class LineRead { line, too_long, end };
    Fill fill();
    // One line without its trailing "\r"/"\n" run; the last line may lack its "\n". A line above
    // the cap is dropped up to its line feed when skip_long is set, else left where it is.
    LineRead read_line(std::string& out, bool skip_long);
    std::optional<std::string> read_body(size_t length);

    ByteSource& source_;
    size_t max_bytes_;
    size_t chunk_;
    std::string buf_;      // unread bytes are buf_[pos_, end)
    size_t pos_ = 0;
    bool ended_ = false;   // the source reported end or an error
    std::string end_reason_ = kInputEnded;
};

}  // namespace nimbalo::mcp
