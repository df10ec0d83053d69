// The core behind the MCP tools' in-process path: the volume reader, the MFT reader, the index
// build and lookups, the query engine and the change journal.
#include "mcp/index_backend.h"

#include "indexing/index_volume.h"
#include "index/lookups.h"
#include "mft/journal.h"
#include "mft/usn_batch.h"
#include "mft/volume.h"
#include "query/search.h"

namespace nimbalo::mcp {

IndexBackend default_index_backend() {
    IndexBackend b;
    b.index_volume = [](char letter) { return nimbalo::index_volume(letter); };
    b.search = [](const Index& index, std::string_view text, uint64_t limit, bool path_mode) {
        return nimbalo::search(index, text, limit, path_mode);
    };
    b.find_path = [](const Index& index, std::string_view path) { return nimbalo::find_path(index, path); };
    b.list_ntfs_volumes = [] { return nimbalo::list_ntfs_volumes(); };
    b.latest_changes = [](char letter, uint64_t n) { return nimbalo::latest_changes(letter, n); };
    b.reason_names = [](uint32_t mask) { return nimbalo::reason_names(mask); };
    return b;
}

}  // namespace nimbalo::mcp
