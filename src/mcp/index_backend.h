// What the MCP tools need from the core to work without the service: build an index of a drive,
// query it, look up one path, list NTFS drives and read the change journal. A bundle of
// functions so the tools can run in tests against fakes; default_index_backend() is the real
// core. The functions are called from the server's one thread and may block for a whole build.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "index/index.h"
#include "mft/usn.h"

namespace nimbalo::mcp {

struct IndexBackend {
    // Open the drive's volume, read its MFT and build the index (the volume is closed either way).
    std::function<Result<Index>(char letter)> index_volume;
    // The query engine: hits in index order, at most limit, or the query's error.
    std::function<Result<std::vector<SearchHit>>(const Index&, std::string_view text, uint64_t limit, bool path_mode)>
        search;
    // Exact full-path lookup ignoring case.
    std::function<std::optional<SearchHit>(const Index&, std::string_view path)> find_path;
    // Letters whose volumes open as NTFS, alphabetical; empty without the rights.
    std::function<std::vector<char>()> list_ntfs_volumes;
    // The last n changes of the drive's journal, read from its oldest record, in journal order.
    std::function<Result<std::vector<UsnChange>>(char letter, uint64_t n)> latest_changes;
    // A reason mask as names joined with "+", or "0x{:08x}".
    std::function<std::string(uint32_t mask)> reason_names;
};

IndexBackend default_index_backend();

}  // namespace nimbalo::mcp
