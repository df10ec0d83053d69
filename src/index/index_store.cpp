#include "index/index_store.h"

#include <filesystem>
#include <new>

#include "common/text.h"
#include "index/index_file.h"
#include "index/index_file_layout.h"
#include "index/lookups.h"
#include "platform/sha256.h"
#include "platform/system.h"

namespace nimbalo {

namespace {

constexpr std::string_view kStateHeader = "nimbalo index state 1";
constexpr uint64_t kNoRecord = ~uint64_t(0);
constexpr uint64_t kRootRecord = 5;
constexpr uint64_t kStateMaxBytes = 4096;

std::string sha256_hex(std::string_view bytes) {
    platform::Sha256 h;
    h.update(bytes);
    return platform::digest_hex(h.finish());
}

bool is_hex64(std::string_view s) {
    if (s.size() != 64) return false;
    for (char c : s)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    size_t i = 0;
    while (i < line.size()) {
        const size_t j = line.find(' ', i);
        const size_t end = j == std::string_view::npos ? line.size() : j;
        out.push_back(line.substr(i, end - i));
        i = end + 1;
    }
    return out;
}

// Digits only (no sign), within 64 bits.
bool parse_u64_text(std::string_view s, uint64_t& out) { return !s.empty() && s.size() <= 20 && s[0] != '+' && parse_u64_plus(s, out); }

std::string path_in(const std::string& folder, const char* name) { return platform::join_path(folder, name); }

std::vector<IndexStateLine> read_state(const std::string& folder) {
    auto text = platform::read_file(path_in(folder, kStateFileName), kStateMaxBytes);
    if (!text) return {};
    auto lines = parse_index_state(*text);
    return lines ? std::move(*lines) : std::vector<IndexStateLine>{};
}

}  // namespace

std::string format_index_state(const std::vector<IndexStateLine>& lines) {
    std::string out(kStateHeader);
    out += '\n';
    for (const IndexStateLine& l : lines) {
        out += "index " + l.index_sha256 + " records " + (l.records_sha256.empty() ? "-" : l.records_sha256) + " journal ";
        out += l.position ? std::to_string(l.position->journal_id) + " " + std::to_string(l.position->next) : "-";
        out += '\n';
    }
    return out;
}

Result<std::vector<IndexStateLine>> parse_index_state(std::string_view text) {
    if (!text.ends_with('\n')) return fail("index state: not a complete file");
    text.remove_suffix(1);
    std::vector<IndexStateLine> out;
    bool header = true;
    size_t i = 0;
    while (i <= text.size()) {
        const size_t j = text.find('\n', i);
        const size_t end = j == std::string_view::npos ? text.size() : j;
        const std::string_view line = text.substr(i, end - i);
        i = end + 1;
        if (header) {
            if (line != kStateHeader) return fail("index state: unknown header");
            header = false;
            continue;
        }
        const auto w = words(line);
        IndexStateLine l;
        const bool shape = (w.size() == 6 || w.size() == 7) && w[0] == "index" && w[2] == "records" && w[4] == "journal";
        if (!shape || !is_hex64(w[1]) || !(w[3] == "-" || is_hex64(w[3]))) return fail("index state: bad line");
        l.index_sha256 = std::string(w[1]);
        if (w[3] != "-") l.records_sha256 = std::string(w[3]);
        if (w.size() == 7) {
            JournalPosition p;
            if (!parse_u64_text(w[5], p.journal_id) || !parse_u64_text(w[6], p.next)) return fail("index state: bad position");
            l.position = p;
        } else if (w[5] != "-") {
            return fail("index state: bad position");
        }
        out.push_back(std::move(l));
        if (out.size() > 4) return fail("index state: too many lines");
    }
    if (out.empty()) return fail("index state: no lines");
    return out;
}

std::string serialize_records(const Index& index) {
    std::vector<uint64_t> of_entry(index.entries.size(), kNoRecord);
    index.by_ref.for_each([&](uint64_t record, uint32_t entry) {
        if (entry < of_entry.size()) of_entry[entry] = record;
    });
    std::string out(of_entry.size() * 8, '\0');
    auto* p = reinterpret_cast<uint8_t*>(out.data());
    for (uint64_t r : of_entry) {
        index_file::put_le(p, r, 8);
        p += 8;
    }
    return out;
}

Status restore_maps(Index& index, std::string_view records) {
    if (records.size() != index.entries.size() * 8) return fail("index records: count does not match the index");
    const std::string root = std::string(1, index.letter) + ":\\";
    if (!std::string_view(index.names).starts_with(root)) return fail("index records: the index has no root");
    DirMap dirs;
    RefMap by_ref;
    by_ref.reserve(index.entries.size());
    dirs.set(kRootRecord, {0, 3});
    const auto* p = reinterpret_cast<const uint8_t*>(records.data());
    for (uint32_t i = 0; i < index.entries.size(); ++i, p += 8) {
        const uint64_t r = index_file::get_le(p, 8);
        if (r == kNoRecord) continue;
        if (r > kRecordMask) return fail("index records: record number out of range");
        const IndexEntry& e = index.entries[i];
        by_ref.append(r, i);
        if (e.is_dir) {
            const uint64_t end = uint64_t(e.path_start) + e.path_len;
            if (end >= index.names.size() || index.names[size_t(end)] != '\\')
                return fail("index records: a folder's path has no backslash after it");
            dirs.set(r, {e.path_start, e.path_len + 1});
        }
    }
    index.dirs = std::move(dirs);
    index.by_ref = std::move(by_ref);
    return {};
}

Result<LoadedIndex> load_index_set(const std::string& folder, char letter) {
    try {
        const std::vector<IndexStateLine> lines = read_state(folder);
        if (lines.empty()) return fail("index file has no usable " + std::string(kStateFileName));
        const std::string path = path_in(folder, kIndexFileName);
        auto size = check_index_file_header(path, letter);
        if (!size) return std::move(size).take_error();
        auto bytes = platform::read_file(path, *size);
        if (!bytes) return std::move(bytes).take_error();
        const std::string sum = sha256_hex(*bytes);
        const IndexStateLine* line = nullptr;
        for (const IndexStateLine& l : lines)
            if (l.index_sha256 == sum) line = &l;
        if (!line) return fail("index file does not match its checksum");
        auto index = parse_index_file(*bytes, letter);
        if (!index) return std::move(index).take_error();
        bytes->clear();
        bytes->shrink_to_fit();
        rebuild_sorted(*index);

        LoadedIndex out{std::move(*index), false, std::nullopt};
        if (!line->records_sha256.empty()) {
            auto records = platform::read_file(path_in(folder, kRecordsFileName), uint64_t(out.index.entries.size()) * 8);
            if (records && sha256_hex(*records) == line->records_sha256 && restore_maps(out.index, *records)) {
                out.has_maps = true;
                out.position = line->position;
            }
        }
        return out;
    } catch (const std::bad_alloc&) {
        return fail("index file: not enough memory to load it");
    }
}

Status save_index_set(const Index& index, const std::string& folder, std::optional<JournalPosition> position) {
    const std::string bytes = serialize_index(index);
    IndexStateLine next{sha256_hex(bytes), {}, std::nullopt};
    std::string records;
    if (!index.by_ref.empty()) {
        records = serialize_records(index);
        next.records_sha256 = sha256_hex(records);
    }
    // Announce: the lines that describe the files on disk now, plus the new one without position.
    std::vector<IndexStateLine> announce = read_state(folder);
    if (announce.size() > 2) announce.erase(announce.begin(), announce.end() - 2);
    announce.push_back(next);
    if (auto s = platform::write_file_atomic(path_in(folder, kStateFileName), format_index_state(announce)); !s)
        return fail("cannot save " + std::string(kStateFileName) + ": " + s.error());
    if (!records.empty()) {
        if (auto s = platform::write_file_atomic(path_in(folder, kRecordsFileName), records); !s)
            return fail("cannot save " + std::string(kRecordsFileName) + ": " + s.error());
    }
    if (auto s = platform::write_file_atomic(path_in(folder, kIndexFileName), bytes); !s)
        return fail("cannot save " + std::string(kIndexFileName) + ": " + s.error());
    next.position = position;
    if (auto s = platform::write_file_atomic(path_in(folder, kStateFileName), format_index_state({next})); !s)
        return fail("cannot save " + std::string(kStateFileName) + ": " + s.error());
    return {};
}

size_t remove_stale_temp_files(const std::string& folder) {
    const std::string own = ".tmp." + std::to_string(platform::process_id()) + ".";
    std::error_code ec;
    size_t removed = 0;
    std::vector<std::filesystem::path> stale;
    for (std::filesystem::directory_iterator it(platform::to_path(folder), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = platform::from_path(it->path().filename());
        const size_t tmp = name.find(".tmp.");
        if (!name.starts_with(kIndexFileName) || tmp == std::string::npos || name.find(own) != std::string::npos) continue;
        std::error_code kind;
        if (!it->is_symlink(kind) && !it->is_regular_file(kind)) continue;
        stale.push_back(it->path());
    }
    for (const auto& p : stale)
        if (std::filesystem::remove(p, ec)) ++removed;
    return removed;
}

}  // namespace nimbalo
