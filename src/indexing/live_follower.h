// LiveFollower: keeps a published index current from a drive's change journal.
//
// Publishing stays cheap with two copies of the index, kept in step ("left-right"): changes are
// applied to the copy no search holds, that copy is published (a pointer exchange), and the same
// batch is replayed on the other copy once its last search has let go of it. A search never sees
// an index change under it and never waits; a batch costs two applications of it (O(entries) at
// worst, for the compaction of removed entries and the merge into the name order) and no copy
// of the index. The price is memory: two indexes while following (three for as long as a search
// holds the spare copy more than 50 ms: the follower then copies afresh rather than wait).
//
// Every period (500 ms) the follower asks the journal where it stands and reads what is new,
// reads the FILE records of the changed files for exact sizes and times (live_batch.h), and
// publishes. When the arena's waste (removed text and spare room) passes a third of the text in
// use, a copy compacts it (compact_if_wasteful; the copies may compact at different points, their
// entries stay the same).
// The journal re-created (another id), wrapped past the position held (records lost) or behind
// it: one full rebuild is asked for (hooks.rebuild, which ends in adopt()), with the reason in
// the log; following resumes from the rebuild's position.
// Saves: after an adopted rebuild, at most every save_interval while changes arrive, and at
// stop(); each with the position the saved index is current to.
// Threads: one follower thread; adopt, position_now and stop may be called from any thread.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "index/index.h"
#include "index/index_store.h"
#include "index/live_batch.h"
#include "indexing/change_feed.h"

namespace nimbalo {

struct FollowHooks {
    std::function<void(std::shared_ptr<const Index>)> publish;
    std::function<void(const Index&, JournalPosition)> save;
    std::function<void()> rebuild;  // start one full rebuild in the background; it calls adopt()
    std::function<void(std::string_view)> log;
};

struct FollowTiming {
    std::chrono::milliseconds period{500};
    std::chrono::milliseconds save_interval{std::chrono::minutes(5)};
};

class LiveFollower {
public:
    LiveFollower(std::unique_ptr<ChangeFeed> feed, FollowHooks hooks, FollowTiming timing = {});
    LiveFollower(const LiveFollower&) = delete;  // owns its thread
    LiveFollower& operator=(const LiveFollower&) = delete;
    ~LiveFollower();

    // Make index (which must have its maps) the current one, current to position `at`: published
    // here, before returning; followed from `at` on. save: write it to disk with that position.
    void adopt(Index index, JournalPosition at, bool save);

    // Where the journal stands now (for a rebuild about to read the MFT).
    Result<JournalPosition> position_now();

    // Ends following; saves when something changed since the last save.
    void stop();

    // Batches applied so far (tests).
    uint64_t batches_applied() const;

private:
    void run();
    bool step();  // one look at the journal; true when something was published
    void apply(LiveBatch batch);
    void catch_up_spare(bool wait);
    void fall_back(const std::string& why);
    void save_now();

    std::unique_ptr<ChangeFeed> feed_;
    FollowHooks hooks_;
    FollowTiming timing_;
    std::mutex feed_lock_;

    mutable std::mutex lock_;  // guards the members below up to the thread
    std::condition_variable wake_;
    bool stopping_ = false;
    bool waiting_for_rebuild_ = false;
    std::optional<std::pair<std::shared_ptr<Index>, JournalPosition>> adopted_;
    std::optional<bool> adopted_save_;
    uint64_t applied_ = 0;

    // Follower thread only.
    std::shared_ptr<Index> published_;
    std::shared_ptr<Index> spare_;       // null until first needed
    std::vector<LiveBatch> spare_behind_;  // batches published but not yet applied to spare_
    JournalPosition position_;
    bool dirty_ = false;
    std::chrono::steady_clock::time_point last_save_;

    std::thread thread_;  // last: starts after the members it uses
};

}  // namespace nimbalo
