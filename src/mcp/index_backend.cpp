// The core behind the MCP tools' in-process path: the volume reader, the MFT reader, the index
// build and lookups, and the query engine.
#include "mcp/index_backend.h"

#include "index/build.h"
#include "index/lookups.h"
#include "mft/mft_reader.h"
#include "mft/volume.h"
#include "query/search.h"

namespace nimbalo::mcp {

namespace {
// The volume is closed before the build starts, on success and on failure alike.
Result<Index> index_volume(char letter) {
    std::vector<MftRecord> records;
    {
        auto volume = open_volume(letter);
        if (!volume) return std::move(volume).take_error();
        auto read = read_mft(*volume);
        if (!read) return std::move(read).take_error();
        records = std::move(*read);
    }
    return build_index(std::move(records), letter);
}
}  // namespace

IndexBackend default_index_backend() {
    IndexBackend b;
    b.index_volume = index_volume;
    b.search = [](const Index& index, std::string_view text, uint64_t limit, bool path_mode) {
        return nimbalo::search(index, text, limit, path_mode);
    };
    b.find_path = [](const Index& index, std::string_view path) { return nimbalo::find_path(index, path); };
    b.list_ntfs_volumes = [] { return nimbalo::list_ntfs_volumes(); };
    // Until the change-journal reader is part of this build, recent_changes reports so as a tool error.
    b.latest_changes = [](char, uint64_t) -> Result<std::vector<UsnChange>> {
        return fail("the change journal reader is not available in this build");
    };
    b.reason_names = [](uint32_t) { return std::string(); };
    return b;
}

}  // namespace nimbalo::mcp
