// Fuzz target: index.bin images. Any input must either be rejected with a message or give an index
// whose every entry can be sliced from its arena; an accepted index must serialise back to exactly
// the bytes it was read from (minus ignored trailing bytes).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "index/index_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > (1 << 20)) return 0;  // bigger images add time, not coverage
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto r = nimbalo::parse_index_file(bytes, 'C');
    if (!r) {
        if (r.error().empty()) std::abort();
        return 0;
    }
    for (const auto& e : r->entries) {
        const auto path = r->path_of(e);
        const auto name = r->name_of(e);
        if (path.size() != e.path_len || name.size() != e.name_len) std::abort();
        if (path.data() + path.size() != name.data() + name.size()) std::abort();
    }
    const std::string again = nimbalo::serialize_index(*r);
    if (bytes.substr(0, again.size()) != again) std::abort();
    return 0;
}
