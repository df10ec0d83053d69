// IndexService: where the service's index comes from and when it changes.
// start(): load index.bin, or build and save; publish; after a loaded start, one background rebuild
// so files made since the last build become findable (start-up itself stays instant).
// reindex(): at most one rebuild runs at a time; asking during a rebuild schedules exactly one more
// after it, however often it is asked, so a request storm costs at most the current index, the one
// being built and (briefly) one still held by a search.
// Published indexes never change: current() hands out a shared reference taken under the lock and
// the caller searches on it without holding anything, so a slow query never stalls other clients
// or a publish. The last holder of a replaced index frees it.
// Threads: every member is safe to call from any thread. Rebuild threads own a reference to the
// shared state and are not joined: a service that stops does not wait for a running build.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "common/result.h"
#include "index/index.h"

namespace nimbalo {

struct IndexSource {
    std::function<Result<Index>()> build;  // the service: index_volume('C')
    std::string folder;                    // holds index.bin; empty = keep nothing on disk
    char letter = 'C';
};

class IndexService {
public:
    explicit IndexService(IndexSource source);
    IndexService(const IndexService&) = delete;  // one published index per service
    IndexService& operator=(const IndexService&) = delete;

    // The first index. Fails with the build's message when there is no usable file and the build
    // fails; nothing is published then.
    Status start();

    // Start or schedule a background rebuild; returns at once.
    void reindex();

    // Make index the current one.
    void publish(Index index);

    // The current index (null before start() succeeded). Never changes under the holder.
    std::shared_ptr<const Index> current() const;

    // Block until no rebuild is running or scheduled.
    void wait_for_rebuilds() const;

    // Rebuilds started so far (a scheduled one counts when it starts).
    uint64_t rebuilds_started() const;

    std::string index_path() const;

    struct Shared;

private:
    std::shared_ptr<Shared> shared_;
};

}  // namespace nimbalo
