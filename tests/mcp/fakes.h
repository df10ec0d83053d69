// Test doubles for the MCP server: an in-memory byte source that hands out fixed-size pieces,
// a scripted service, and an index backend over a hand-made index. Tests only.
#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "mcp/frame_reader.h"
#include "mcp/index_backend.h"
#include "mcp/service_link.h"

namespace nimbalo::mcp::testing {

class StringSource final : public ByteSource {
public:
    explicit StringSource(std::string bytes, size_t piece = 1 << 16) : bytes_(std::move(bytes)), piece_(piece) {}
    Result<size_t> read(std::span<char> buf) override {
        const size_t n = std::min({buf.size(), piece_, bytes_.size() - pos_});
        std::copy_n(bytes_.data() + pos_, n, buf.data());
        pos_ += n;
        return n;
    }
    size_t consumed() const { return pos_; }

private:
    std::string bytes_;
    size_t piece_;
    size_t pos_ = 0;
};

class ScriptedService final : public ServiceLink {
public:
    bool running = false;
    std::map<std::string, std::string> replies;  // target prefix -> body
    std::vector<std::string> asked;
    std::optional<std::string> get(std::string_view target, uint32_t) override {
        asked.emplace_back(target);
        if (!running) return std::nullopt;
        for (const auto& [prefix, body] : replies)
            if (target.substr(0, prefix.size()) == prefix) return body;
        return std::nullopt;
    }
    bool up() override { return running; }
};

// entries: path, is_dir, size, modified. Paths are "X:\..." and the index letter is X.
inline Index make_index(char letter, const std::vector<std::tuple<std::string, bool, uint64_t, uint64_t>>& rows) {
    Index idx;
    idx.letter = letter;
    for (const auto& [path, dir, size, modified] : rows) {
        IndexEntry e;
        e.path_start = uint32_t(idx.names.size());
        e.path_len = uint32_t(path.size());
        e.name_len = uint32_t(path.size() - path.find_last_of('\\') - 1);
        e.is_dir = dir;
        e.size = size;
        e.modified = modified;
        idx.names += path;
        idx.entries.push_back(e);
    }
    return idx;
}

struct FakeCore {
    std::vector<char> builds;  // letters built, in order
    std::map<char, Result<Index>> volumes{};
    std::vector<std::pair<std::string, uint64_t>> searches;  // query, limit
    std::vector<std::pair<char, uint64_t>> journal_reads;

    IndexBackend backend() {
        IndexBackend b;
        b.index_volume = [this](char letter) -> Result<Index> {
            builds.push_back(letter);
            auto it = volumes.find(letter);
            if (it == volumes.end()) return fail(std::string("cannot open \\\\.\\") + letter + ":: Access is denied.");
            return it->second;
        };
        // Plain substring over names: enough to tell which index was searched.
        b.search = [this](const Index& idx, std::string_view q, uint64_t limit, bool) -> Result<std::vector<SearchHit>> {
            searches.emplace_back(std::string(q), limit);
            if (q == "bad(") return fail("unbalanced parenthesis");
            std::vector<SearchHit> hits;
            for (const auto& e : idx.entries) {
                if (hits.size() >= limit) break;
                if (idx.name_of(e).find(q) == std::string_view::npos) continue;
                hits.push_back(SearchHit{idx.path_of(e), idx.name_of(e), e.size, e.modified, e.is_dir});
            }
            return hits;
        };
        b.find_path = [](const Index& idx, std::string_view path) -> std::optional<SearchHit> {
            for (const auto& e : idx.entries)
                if (idx.path_of(e) == path) return SearchHit{idx.path_of(e), idx.name_of(e), e.size, e.modified, e.is_dir};
            return std::nullopt;
        };
        b.list_ntfs_volumes = [] { return std::vector<char>{'C', 'E'}; };
        b.latest_changes = [this](char letter, uint64_t n) -> Result<std::vector<UsnChange>> {
            journal_reads.emplace_back(letter, n);
            if (letter != 'C') return fail("FSCTL_QUERY_USN_JOURNAL failed on " + std::string(1, letter) + ": no journal");
            std::vector<UsnChange> all = {{"a.txt", 5, 4, 0, 0x100, false}, {"dir", 6, 4, 125963012960000000ull, 0x3000, true}};
            if (n < all.size()) all.erase(all.begin(), all.end() - long(n));
            return all;
        };
        b.reason_names = [](uint32_t mask) { return mask == 0x100 ? std::string("create") : std::string("rename(old)+rename(new)"); };
        return b;
    }
};

}  // namespace nimbalo::mcp::testing
