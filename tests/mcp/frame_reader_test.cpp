#include <gtest/gtest.h>

#include "mcp/frame_reader.h"
#include "mcp/fakes.h"

using nimbalo::mcp::Frame;
using nimbalo::mcp::FrameReader;
using nimbalo::mcp::Framing;
using nimbalo::mcp::testing::StringSource;

namespace {

constexpr Framing H = Framing::header;
constexpr Framing L = Framing::line;

struct Case {
    const char* what;
    std::string input;
    std::vector<std::pair<std::string, Framing>> frames;  // everything before the session ends; "<big>" an oversized line
    size_t cap = nimbalo::mcp::kMaxFrameBytes;
};

std::vector<std::pair<std::string, Framing>> read_all(const std::string& input, size_t piece, size_t cap) {
    StringSource src(input, piece);
    FrameReader reader(src, cap, 7);
    std::vector<std::pair<std::string, Framing>> out;
    while (auto f = reader.next()) out.emplace_back(f->oversized ? "<big>" : f->body, f->framing);
    return out;
}

}  // namespace

TEST(FrameReader, Table) {
    const std::vector<Case> cases = {
        {"plain frame", "Content-Length: 2\r\n\r\n{}", {{"{}", H}}},
        {"header before", "Content-Type: x\r\nContent-Length: 2\r\n\r\n{}", {{"{}", H}}},
        {"header after", "Content-Length: 2\r\nContent-Type: x\r\n\r\n{}", {{"{}", H}}},
        {"plus sign", "Content-Length: +5\r\n\r\n[1,2]", {{"[1,2]", H}}},
        {"blanks around value", "Content-Length:\t 5 \r\n\r\n[1,2]", {{"[1,2]", H}}},
        {"minus clears", "Content-Length: -5\r\n\r\n[1,2]", {}},
        {"trailing junk clears", "Content-Length: 5x\r\n\r\n[1,2]", {}},
        {"empty value clears", "Content-Length:\r\n\r\n[1,2]", {}},
        {"lower-case header ignored", "content-length: 2\r\n\r\n{}", {}},
        {"last length decides", "Content-Length: 2\r\nContent-Length: 3\r\n\r\n[1]", {{"[1]", H}}},
        {"invalid later length clears", "Content-Length: 3\r\nContent-Length: x\r\n\r\n[1]", {}},
        {"zero length", "Content-Length: 0\r\n\r\n", {{"", H}}},
        {"overflow", "Content-Length: 18446744073709551616\r\n\r\n{}", {}},
        {"short body", "Content-Length: 10\r\n\r\n{}", {}},
        {"body keeps line feeds", "Content-Length: 9\r\n\r\n{\n\"a\":1\n}", {{"{\n\"a\":1\n}", H}}},
        {"bare LF headers", "Content-Length: 2\n\n{}", {{"{}", H}}},
        {"blank lines between messages are skipped", "\r\nContent-Length: 2\r\n\r\n{}\n\n{}\n", {{"{}", H}, {"{}", L}}},
        {"two frames back to back", "Content-Length: 1\r\n\r\n1Content-Length: 1\r\n\r\n2", {{"1", H}, {"2", H}}},
        {"json lines", "{\"a\":1}\n{\"b\":2}\r\n", {{"{\"a\":1}", L}, {"{\"b\":2}", L}}},
        {"json line with leading blanks", " \t{\"a\":1}\n", {{" \t{\"a\":1}", L}}},
        {"json line without final LF", "{\"a\":1}", {{"{\"a\":1}", L}}},
        {"json line then header frame", "{}\nContent-Length: 2\r\n\r\n[]", {{"{}", L}, {"[]", H}}},
        {"header frame then json line", "Content-Length: 2\r\n\r\n[]{\"x\":0}\n", {{"[]", H}, {"{\"x\":0}", L}}},
        {"json line inside a header block is a header", "X-A: 1\r\n{\"a\":1}\r\nContent-Length: 2\r\n\r\n{}", {{"{}", H}}},
        {"array line is a message", "[1]\n{}\n", {{"[1]", L}, {"{}", L}}},
        {"garbage line is a message", "hello\n{}\n", {{"hello", L}, {"{}", L}}},
        {"colon-less word is a message", "Content-Length 2\n{}\n", {{"Content-Length 2", L}, {"{}", L}}},
        {"invalid UTF-8 header ends", "X-A: \xff\r\nContent-Length: 2\r\n\r\n{}", {}},
        {"invalid UTF-8 json line is a message", "{\"a\":\"\xc3\"}\n{}\n", {{"{\"a\":\"\xc3\"}", L}, {"{}", L}}},
        {"end inside a header block", "Content-Length: 2\r\n", {}},
        {"nothing", "", {}},
        // A huge announced length must end the session before any allocation is tried.
        {"absurd length", "Content-Length: 1099511627776\r\n\r\n{}", {}},
        {"cap: body at the cap", "Content-Length: 20\r\n\r\n" + std::string(20, '7'), {{std::string(20, '7'), H}}, 20},
        {"cap: body above the cap", "Content-Length: 21\r\n\r\n" + std::string(21, '7'), {}, 20},
        {"cap: json line at the cap", "{\"a\":\"" + std::string(12, 'x') + "\"}\n", {{"{\"a\":\"" + std::string(12, 'x') + "\"}", L}}, 20},
        {"cap: json line above the cap is skipped", "{\"a\":\"" + std::string(13, 'x') + "\"}\n{}\n", {{"<big>", L}, {"{}", L}}, 20},
        {"cap: long first header line is skipped", "X-Long: " + std::string(13, 'x') + "\r\nContent-Length: 2\r\n\r\n{}", {{"<big>", L}, {"{}", H}}, 20},
        {"cap: long later header line ends", "X: 1\r\nX-Long: " + std::string(13, 'x') + "\r\nContent-Length: 2\r\n\r\n{}", {}, 20},
        {"cap: endless line without LF", std::string(100, 'x'), {{"<big>", L}}, 20},
    };
    for (const auto& c : cases) {
        for (size_t piece : {size_t(1), size_t(3), size_t(1) << 16}) {
            EXPECT_EQ(read_all(c.input, piece, c.cap), c.frames) << c.what << " (pieces of " << piece << ")";
        }
    }
}

TEST(FrameReader, SaysWhyTheSessionEnded) {
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"", "stdin closed"},
        {"{}\n", "stdin closed"},
        {"Content-Length: 2\r\n", "input ended inside a header block"},
        {"Content-Length: 17000000\r\n\r\n", "a Content-Length above 16777216 bytes"},
        {"Content-Length: -1\r\n\r\n", "a header block without a valid Content-Length"},
        {"Content-Length: 9\r\n\r\n{}", "input ended inside a body"},
        {"X: \xc3\r\n", "a header line that is not UTF-8"},
    };
    for (const auto& [input, why] : rows) {
        StringSource src(input, 3);
        FrameReader reader(src);
        while (reader.next()) {
        }
        EXPECT_EQ(reader.end_reason(), why) << input;
    }
}

TEST(FrameReader, AnOversizedLineIsSkippedWithoutKeepingIt) {
    // 64 MiB through a 16-byte cap, then the next message as usual.
    StringSource src(std::string(64 << 20, 'x') + "\n{}\n", 1 << 16);
    FrameReader reader(src, 16, 4096);
    auto a = reader.next();
    ASSERT_TRUE(a && a->oversized && a->body.empty());
    auto b = reader.next();
    ASSERT_TRUE(b && b->body == "{}");
}

TEST(FrameReader, StopsReadingAtEndOfSession) {
    // After a malformed block nothing more is consumed than that block needed.
    StringSource src("Content-Length: x\r\n\r\n" + std::string(1 << 20, 'y'), 1);
    FrameReader reader(src);
    EXPECT_FALSE(reader.next());
    EXPECT_EQ(src.consumed(), 21u);
}
