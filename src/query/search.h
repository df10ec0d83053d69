// search: the one entry point that parses a query, evaluates it over an index in parallel
// chunks and returns the matching entries in index order (no ranking), or one error message.
// The caller keeps the index unchanged while it uses the hits.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "index/index.h"

namespace nimbalo {

Result<std::vector<SearchHit>> search(const Index& index, std::string_view text, uint64_t limit, bool path_mode);

}  // namespace nimbalo
