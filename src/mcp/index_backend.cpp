// The core behind the MCP tools' in-process path.
// Until the volume reader, the index build and the query engine are part of this build, each
// entry fails with a clear message; the tools then report it as a tool error.
#include "mcp/index_backend.h"

namespace nimbalo::mcp {

IndexBackend default_index_backend() {
    IndexBackend b;
    b.index_volume = [](char) -> Result<Index> { return fail("in-process indexing is not available in this build"); };
    b.search = [](const Index&, std::string_view, uint64_t, bool) -> Result<std::vector<SearchHit>> {
        return fail("in-process search is not available in this build");
    };
    b.find_path = [](const Index&, std::string_view) -> std::optional<SearchHit> { return std::nullopt; };
    b.list_ntfs_volumes = [] { return std::vector<char>(); };
    b.latest_changes = [](char, uint64_t) -> Result<std::vector<UsnChange>> {
        return fail("the change journal reader is not available in this build");
    };
    b.reason_names = [](uint32_t) { return std::string(); };
    return b;
}

}  // namespace nimbalo::mcp
