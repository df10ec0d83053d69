#include "mcp/frame_reader.h"

#include <cctype>
#include <cstdint>
#include <string_view>

#include "common/text.h"

namespace nimbalo::mcp {

namespace {
constexpr std::string_view kContentLength = "Content-Length:";

bool starts_json_line(std::string_view line) {
    for (char c : line) {
        if (c == ' ' || c == '\t') continue;
        return c == '{';
    }
    return false;
}

// "Name:" with a name of token characters: the first line of a header block.
bool starts_header(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) ||
                               std::string_view("!#$%&'*+-.^_`|~").find(line[i]) != std::string_view::npos))
        ++i;
    return i > 0 && i < line.size() && line[i] == ':';
}
}  // namespace

FrameReader::FrameReader(ByteSource& source, size_t max_bytes, size_t chunk)
    : source_(source), max_bytes_(max_bytes), chunk_(chunk == 0 ? 1 : chunk) {}

FrameReader::Fill FrameReader::fill() {
    if (ended_) return Fill::end;
    if (pos_ > 0 && pos_ >= buf_.size() / 2) {  // drop consumed bytes before the buffer grows
        buf_.erase(0, pos_);
        pos_ = 0;
    }
    const size_t old = buf_.size();
    buf_.resize(old + chunk_);
    auto got = source_.read(std::span<char>(buf_.data() + old, chunk_));
    if (!got || *got == 0) {
        buf_.resize(old);
        ended_ = true;
        return Fill::end;
    }
    buf_.resize(old + std::min(*got, chunk_));
    return Fill::more;
}

FrameReader::LineRead FrameReader::read_line(std::string& out, bool skip_long) {
    size_t scanned = pos_;
    bool dropping = false;  // the line is too long and what has arrived of it is gone
    for (;;) {
        const size_t nl = buf_.find('\n', scanned);
        if (nl != std::string::npos) {
            const bool too_long = dropping || nl - pos_ > max_bytes_;
            if (too_long && !skip_long) return LineRead::too_long;
            std::string_view line(buf_.data() + pos_, nl - pos_);
            pos_ = nl + 1;
            if (too_long) return LineRead::too_long;
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
            out.assign(line);
            return LineRead::line;
        }
        scanned = buf_.size();
        if (scanned - pos_ > max_bytes_) {
            if (!skip_long) return LineRead::too_long;
            dropping = true;
            pos_ = scanned;
        }
        const size_t before = pos_;
        if (fill() == Fill::end) {
            if (dropping) {
                pos_ = buf_.size();
                return LineRead::too_long;
            }
            if (pos_ >= buf_.size()) return LineRead::end;  // nothing left at all
            std::string_view line(buf_.data() + pos_, buf_.size() - pos_);
            pos_ = buf_.size();
            while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            out.assign(line);
            return LineRead::line;
        }
        scanned -= before - pos_;  // fill() may have moved the unread bytes to the front
    }
}

std::optional<std::string> FrameReader::read_body(size_t length) {
    std::string body;
    body.reserve(length);
    const size_t have = std::min(length, buf_.size() - pos_);
    body.append(buf_, pos_, have);
    pos_ += have;
    while (body.size() < length) {
        if (fill() == Fill::end) return std::nullopt;
        const size_t take = std::min(length - body.size(), buf_.size() - pos_);
        body.append(buf_, pos_, take);
        pos_ += take;
    }
    return body;
}

std::optional<Frame> FrameReader::next() {
    const auto stop = [this](std::string reason) -> std::optional<Frame> {
        end_reason_ = std::move(reason);
        return std::nullopt;
    };
    const std::string cap = std::to_string(max_bytes_) + " bytes";
    bool in_header_block = false;
    bool has_length = false;  // a plain flag: GCC 12 misreads std::optional<uint64_t> here
    uint64_t length = 0;
    std::string line;
    for (;;) {
        switch (read_line(line, !in_header_block)) {
            case LineRead::end:
                return stop(in_header_block ? "input ended inside a header block" : kInputEnded);
            case LineRead::too_long:
                if (in_header_block) return stop("a header line longer than " + cap);
                return Frame{{}, Framing::line, true};
            case LineRead::line:
                break;
        }
        if (!in_header_block) {
            if (line.empty()) continue;  // blank lines between messages
            if (starts_json_line(line) || !starts_header(line)) return Frame{std::move(line), Framing::line};
            in_header_block = true;
        }
        if (!is_valid_utf8(line)) return stop("a header line that is not UTF-8");
        if (line.empty()) {
            if (!has_length) return stop("a header block without a valid Content-Length");
            if (length > max_bytes_) return stop("a Content-Length above " + cap);
            auto body = read_body(size_t(length));
            if (!body) return stop("input ended inside a body");
            return Frame{std::move(*body), Framing::header};
        }
        if (line.size() >= kContentLength.size() && starts_with(line, kContentLength)) {
            has_length = parse_u64_plus(trim_ascii(std::string_view(line).substr(kContentLength.size())), length);
            if (!has_length) length = 0;
        }
    }
}

}  // namespace nimbalo::mcp
