#include "index/index_file.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <new>

#include "common/text.h"
#include "index/build.h"
#include "index/lookups.h"
#include "platform/large_buffer.h"
#include "platform/system.h"
#include "index/index_file_layout.h"

namespace nimbalo {

using index_file::get_le;
using index_file::IndexEntryDisk;
using index_file::kEntryBytes;
using index_file::put_le;

std::string serialize_index(const Index& index) {
    const std::string letter(1, index.letter);
    const size_t total = letter.size() + 16 + index.names.size() + kEntryBytes * index.entries.size();
    std::string out(total, '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    std::memcpy(p, letter.data(), letter.size());
    p += letter.size();
    put_le(p, index.names.size(), 8);
    p += 8;
    std::memcpy(p, index.names.data(), index.names.size());
    p += index.names.size();
    put_le(p, index.entries.size(), 8);
    p += 8;
    for (const IndexEntry& e : index.entries) {
        put_le(p + offsetof(IndexEntryDisk, path_start), e.path_start, 4);
        put_le(p + offsetof(IndexEntryDisk, path_len), e.path_len, 4);
        put_le(p + offsetof(IndexEntryDisk, name_len), e.name_len, 4);
        p[offsetof(IndexEntryDisk, is_dir)] = e.is_dir ? 1 : 0;
        put_le(p + offsetof(IndexEntryDisk, size), e.size, 8);
        put_le(p + offsetof(IndexEntryDisk, modified), e.modified, 8);
        p += kEntryBytes;
    }
    return out;
}

namespace {

// A cursor over the file image that never reads past its end.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}
    size_t left() const { return bytes_.size() - pos_; }
    bool u64(uint64_t& out) {
        if (left() < 8) return false;
        out = get_le(at(), 8);
        pos_ += 8;
        return true;
    }
    const uint8_t* at() const { return reinterpret_cast<const uint8_t*>(bytes_.data() + pos_); }
    std::string_view take(size_t n) {
        const auto s = bytes_.substr(pos_, n);
        pos_ += n;
        return s;
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// UTF-8 validation with an 8-bytes-at-a-time skip over ASCII, which paths mostly are. Splitting at
// ASCII bytes is exact: no multibyte sequence contains one, so the text is valid exactly when each
// run of non-ASCII bytes is valid on its own.
bool valid_utf8_fast(std::string_view text) {
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        uint64_t word;
        while (i + 8 <= n) {
            std::memcpy(&word, text.data() + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        while (i < n && static_cast<unsigned char>(text[i]) < 0x80) ++i;
        size_t j = i;
        while (j < n && static_cast<unsigned char>(text[j]) >= 0x80) ++j;
        if (j > i && !is_valid_utf8(text.substr(i, j - i))) return false;
        i = j;
    }
    return true;
}

// The entry's range, its name and both ends of each on character boundaries; 64-bit sums so a
// start near 2^32 cannot wrap.
bool entry_fits(const IndexEntry& e, std::string_view names) {
    const uint64_t end = uint64_t(e.path_start) + e.path_len;
    if (end > names.size() || e.name_len > e.path_len) return false;
    const size_t name_start = size_t(end - e.name_len);
    return is_utf8_boundary(names, e.path_start) && is_utf8_boundary(names, size_t(end)) &&
           is_utf8_boundary(names, name_start);
}

}  // namespace

Result<Index> parse_index_file(std::string_view bytes, char expected_letter) {
    if (bytes.empty()) return fail("index file is empty");
    const int letter_len = utf8_sequence_length(static_cast<unsigned char>(bytes[0]));
    if (letter_len == 0) return fail("index file: bad drive letter byte");
    if (size_t(letter_len) > bytes.size() || !is_valid_utf8(bytes.substr(0, size_t(letter_len))))
        return fail("index file: drive letter is not valid UTF-8");
    if (letter_len != 1 || bytes[0] != expected_letter)
        return fail(std::string("index file is for another drive, not ") + expected_letter);

    Reader r(bytes.substr(1));
    uint64_t names_len = 0;
    if (!r.u64(names_len)) return fail("index file: truncated before the names length");
    if (names_len > r.left()) return fail("index file: names length exceeds the file");
    Index index;
    index.letter = expected_letter;
    platform::reserve_huge(index.names, size_t(names_len));
    index.names.append(r.take(size_t(names_len)));
    if (!valid_utf8_fast(index.names)) return fail("index file: names are not valid UTF-8");

    uint64_t count = 0;
    if (!r.u64(count)) return fail("index file: truncated before the entry count");
    // The bytes present bound what a count can make us reserve.
    platform::reserve_huge(index.entries, size_t(std::min<uint64_t>(count, r.left() / kEntryBytes)));
    for (uint64_t i = 0; i < count; ++i) {
        if (r.left() < kEntryBytes) return fail("index file: truncated in entry " + std::to_string(i));
        const uint8_t* p = r.at();
        IndexEntry e;
        e.path_start = uint32_t(get_le(p + offsetof(IndexEntryDisk, path_start), 4));
        e.path_len = uint32_t(get_le(p + offsetof(IndexEntryDisk, path_len), 4));
        e.name_len = uint32_t(get_le(p + offsetof(IndexEntryDisk, name_len), 4));
        const uint8_t dir = p[offsetof(IndexEntryDisk, is_dir)];
        if (dir > 1) return fail("index file: entry " + std::to_string(i) + " has a bad directory flag");
        e.is_dir = dir == 1;
        e.size = get_le(p + offsetof(IndexEntryDisk, size), 8);
        e.modified = get_le(p + offsetof(IndexEntryDisk, modified), 8);
        if (!entry_fits(e, index.names))
            return fail("index file: entry " + std::to_string(i) + " lies outside the names");
        index.entries.push_back(e);
        r.take(kEntryBytes);
    }
    // The scans walk the arena in entry order; a file whose entries overlap or run backwards was
    // not written by a build and is rejected like any other damaged file.
    if (!entries_in_arena_order(index)) return fail("index file: entries are not in arena order");
    return index;
}

Status save_index(const Index& index, const std::string& path) {
    return platform::write_file_atomic(path, serialize_index(index));
}

Result<uint64_t> check_index_file_header(const std::string& path, char expected_letter) {
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(platform::to_path(path), ec);
    if (ec) return fail("index file: cannot read its size: " + ec.message());
    std::ifstream in(platform::to_path(path), std::ios::binary);
    uint8_t head[9];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head)) return fail("index file: truncated before the names length");
    if (head[0] != uint8_t(expected_letter)) return fail(std::string("index file is for another drive, not ") + expected_letter);
    const uint64_t names_len = get_le(head + 1, 8);
    if (names_len > kArenaLimit || names_len > size) return fail("index file: names length exceeds the file");
    uint8_t count_bytes[8];
    in.seekg(std::streamoff(9 + names_len));
    if (!in.read(reinterpret_cast<char*>(count_bytes), sizeof count_bytes)) return fail("index file: truncated before the entry count");
    const uint64_t count = get_le(count_bytes, 8);
    // Every path holds at least "X:\" and a name, so there are fewer entries than arena bytes.
    if (count > names_len || count > RefMap::kMaxEntry) return fail("index file: implausible entry count");
    if (17 + names_len + count * kEntryBytes != size) return fail("index file: its counts do not give its size");
    return size;
}

Result<Index> load_index(const std::string& path, char expected_letter) {
    try {
        auto size = check_index_file_header(path, expected_letter);
        if (!size) return std::move(size).take_error();
        auto bytes = platform::read_file(path, *size);
        if (!bytes) return std::move(bytes).take_error();
        auto index = parse_index_file(*bytes, expected_letter);
        if (!index) return index;
        bytes->clear();
        bytes->shrink_to_fit();
        rebuild_sorted(*index);
        return index;
    } catch (const std::bad_alloc&) {
        return fail("index file: not enough memory to load it");
    }
}

}  // namespace nimbalo
