#include "mcp/frame_reader.h"

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

std::optional<std::string> FrameReader::read_line() {
    size_t scanned = pos_;
    for (;;) {
        const size_t nl = buf_.find('\n', scanned);
        if (nl != std::string::npos) {
            if (nl - pos_ > max_bytes_) return std::nullopt;
            std::string_view line(buf_.data() + pos_, nl - pos_);
            pos_ = nl + 1;
            while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
            return std::string(line);
        }
        scanned = buf_.size();
        if (scanned - pos_ > max_bytes_) return std::nullopt;
        const size_t before = pos_;
        if (fill() == Fill::end) {
            if (pos_ >= buf_.size()) return std::nullopt;  // nothing left at all
            std::string_view line(buf_.data() + pos_, buf_.size() - pos_);
            pos_ = buf_.size();
            while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
            return std::string(line);
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
    bool in_header_block = false;
    bool has_length = false;  // a plain flag: GCC 12 misreads std::optional<uint64_t> here
    uint64_t length = 0;
    for (;;) {
        auto line = read_line();
        if (!line || !is_valid_utf8(*line)) return std::nullopt;
        if (!in_header_block && starts_json_line(*line)) return Frame{std::move(*line), Framing::line};
        if (line->empty()) {
            if (!has_length || length > max_bytes_) return std::nullopt;
            auto body = read_body(size_t(length));
            if (!body) return std::nullopt;
            return Frame{std::move(*body), Framing::header};
        }
        in_header_block = true;
        if (line->size() >= kContentLength.size() && starts_with(*line, kContentLength)) {
            has_length = parse_u64_plus(trim_ascii(std::string_view(*line).substr(kContentLength.size())), length);
            if (!has_length) length = 0;
        }
    }
}

}  // namespace nimbalo::mcp
