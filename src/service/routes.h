// One request in, one response out: parse, refuse or route, run the route against the service's
// current index, build the response bytes.
// A search takes a reference to the current index and runs on it without any lock held; /status
// reads the entry count the same way; /progress reads the build counters without a lock; /reindex
// only schedules. Thread-safe: called concurrently by every connection thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "index/index.h"
#include "service/lifecycle.h"

namespace nimbalo {

// The query engine, passed in so that the routes can be exercised with a fake.
using SearchFn = std::function<Result<std::vector<SearchHit>>(const Index&, std::string_view, uint64_t, bool)>;

struct Routes {
    IndexService& service;
    SearchFn search;
    uint16_t port = 8123;

    std::string answer(std::string_view received) const;
};

}  // namespace nimbalo
