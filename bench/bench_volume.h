// Benchmark volumes: MftRecords of a realistic tree made from a real path list (one path a
// line, e.g. `find /usr`), copied side by side under vol0, vol1, ... until the wanted number
// of records is reached. Without a path list (NIMBALO_BENCH_PATHS unset or unreadable) a
// seeded synthetic tree is used. Benchmark-only code.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include "index/index.h"
#include "mft/records.h"

namespace nimbalo::bench {

struct Node {
    uint32_t parent;  // index into nodes, self for the top
    std::string name;
    bool is_dir;
};

// The template tree: nodes in path-list order; node 0 is the top.
inline std::vector<Node> load_template() {
    std::vector<Node> nodes{{0, "", true}};
    std::unordered_map<std::string, uint32_t> dir_of;  // path -> node
    dir_of[""] = 0;
    const char* env = std::getenv("NIMBALO_BENCH_PATHS");
    std::ifstream in(env ? env : "");
    std::vector<std::string> paths;
    std::string line;
    while (in && std::getline(in, line)) {
        if (!line.empty() && line[0] == '/') line.erase(0, 1);
        if (!line.empty()) paths.push_back(line);
    }
    if (paths.empty()) {
        std::fprintf(stderr, "bench: NIMBALO_BENCH_PATHS not readable, using a synthetic tree (seed 1)\n");
        std::mt19937_64 rng(1);
        const char* words[] = {"lib", "share", "doc", "include", "python3", "dist-packages", "locale", "man", "icons",
                               "x86_64-linux-gnu", "perl5", "src", "test", "data", "README", "LICENSE", "config", "util"};
        const char* exts[] = {".so", ".h", ".py", ".txt", ".gz", ".mo", ".png", "", ".html", ".pm"};
        std::vector<std::string> dirs{""};
        for (int i = 0; i < 170000; ++i) {
            const std::string& base = dirs[rng() % dirs.size()];
            std::string name = std::string(words[rng() % 18]) + (rng() % 2 ? std::to_string(rng() % 1000) : "");
            const bool d = rng() % 8 == 0;
            if (!d) name += exts[rng() % 10];
            const std::string p = base.empty() ? name : base + "/" + name;
            paths.push_back(p);
            if (d) dirs.push_back(p);
        }
    }
    for (const std::string& p : paths) {
        const size_t slash = p.rfind('/');
        const std::string parent = slash == std::string::npos ? "" : p.substr(0, slash);
        auto it = dir_of.find(parent);
        if (it == dir_of.end()) continue;  // parent not listed before: skip, as the walk would
        nodes.push_back({it->second, p.substr(slash == std::string::npos ? 0 : slash + 1), false});
        dir_of[p] = uint32_t(nodes.size() - 1);  // every listed path may turn out to be a directory
    }
    // A node is a directory when some node names it as parent.
    for (const Node& n : nodes) nodes[n.parent].is_dir = true;
    return nodes;
}

inline const std::vector<Node>& template_tree() {
    static const std::vector<Node> t = load_template();
    return t;
}

// `count` records: copies of the template under vol{k} directories, record numbers ascending
// from 16 (the NTFS metadata files and the root below that), input order by record number.
inline std::vector<MftRecord> make_records(size_t count) {
    const auto& t = template_tree();
    std::vector<MftRecord> recs;
    recs.reserve(count);
    uint64_t next = 16;
    for (size_t copy = 0; recs.size() < count; ++copy) {
        const uint64_t top = next++;
        recs.push_back({"vol" + std::to_string(copy), 5, top, 0, 0, true});
        const uint64_t base = next - 1;  // node i gets record base + i (node 0 is the top)
        for (size_t i = 1; i < t.size() && recs.size() < count; ++i) {
            const Node& n = t[i];
            recs.push_back({n.name, base + n.parent, base + i, n.is_dir ? 0 : 1000 + (i * 7919) % 5'000'000, 133'000'000'000'000'000ull + i, n.is_dir});
        }
        next = base + t.size();
    }
    return recs;
}

// Bytes held by the index, maps included, and the budget: path bytes + 64 per entry.
inline size_t index_bytes(const Index& ix) {
    return ix.names.capacity() + ix.entries.capacity() * sizeof(IndexEntry) + ix.sorted.capacity() * 4 +
           ix.dirs.memory_bytes() + ix.by_ref.memory_bytes();
}
inline size_t index_budget(const Index& ix) {
    size_t path_bytes = 0;
    for (const auto& e : ix.entries) path_bytes += e.path_len;
    return path_bytes + 64 * ix.entries.size();
}

}  // namespace nimbalo::bench
