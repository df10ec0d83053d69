// search: the one entry point that parses a query, evaluates it over an index in parallel
// chunks and returns the matching entries in index order (no ranking), or one error message.
// The caller keeps the index unchanged while it uses the hits.
// Time: a query with a regex term stops scanning after regex_time and fails with a "regex: …"
// message. RE2 matches in linear time, but when a large pattern exhausts its DFA cache it falls
// back to a matcher that can spend microseconds per name (\pL{50}: seconds per million names);
// one such query must not hold a service worker for a minute.
#pragma once

#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "index/index.h"

namespace nimbalo {

inline constexpr std::chrono::milliseconds kRegexSearchTime{3000};

Result<std::vector<SearchHit>> search_within(const Index& index, std::string_view text, uint64_t limit, bool path_mode,
                                             std::chrono::milliseconds regex_time);
inline Result<std::vector<SearchHit>> search(const Index& index, std::string_view text, uint64_t limit, bool path_mode) {
    return search_within(index, text, limit, path_mode, kRegexSearchTime);
}

}  // namespace nimbalo
