// IndexService: where the service's index comes from and when it changes.
// start(): remove stale temporary files, load index.bin (checked against its companion file, see
// index/index_store.h), or build and save; publish; after a loaded start, one background rebuild
// so files made since the last build become findable (start-up itself stays instant).
// reindex(): at most one rebuild runs at a time; asking during a rebuild schedules exactly one more
// after it, however often it is asked, so a request storm costs at most the current index, the one
// being built and (briefly) one still held by a search.
// Published indexes never change: current() hands out a shared reference taken under the lock and
// the caller searches on it without holding anything, so a slow query never stalls other clients
// or a publish. The last holder of a replaced index frees it.
// Live updates: when the source opens a change feed, start() hands the index to a LiveFollower
// (indexing/live_follower.h), which publishes from then on; a loaded index whose saved journal
// position the journal still holds is caught up from the journal instead of rebuilt. Rebuilds
// then go through the follower too (it continues from where the journal stood at their start).
// Threads: every member is safe to call from any thread. Rebuild threads own a reference to the
// shared state and are not joined: a service that stops does not wait for a running build.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "common/result.h"
#include "index/index.h"
#include "indexing/live_follower.h"

namespace nimbalo {

struct IndexSource {
    std::function<Result<Index>()> build;  // the service: index_volume('C')
    std::string folder;                    // holds index.bin; empty = keep nothing on disk
    char letter = 'C';
    std::function<void(std::string_view)> log = {};  // the service's log (failed saves, rebuild reasons)
    // Live updates: opens the drive's change feed (empty: none; the index changes on rebuilds only).
    std::function<Result<std::unique_ptr<ChangeFeed>>()> open_feed = {};
    FollowTiming timing = {};
};

class IndexService {
public:
    explicit IndexService(IndexSource source);
    ~IndexService();
    IndexService(const IndexService&) = delete;  // one published index per service
    IndexService& operator=(const IndexService&) = delete;

    // The first index. Fails with the build's message when there is no usable file and the build
    // fails; nothing is published then.
    Status start();

    // Wait for a running rebuild (a scheduled one is dropped; none starts after this), then stop
    // following the journal, saving what changed since the last save. Idempotent; the
    // destructor calls it, so the last holder of the service never leaves a rebuild behind.
    void stop();

    // True when start() found a journal to follow.
    bool following() const;

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
    void start_following();
    std::shared_ptr<Shared> shared_;
};

}  // namespace nimbalo
