#include "indexing/live_follower.h"

#include <new>
#include <string>
#include <unordered_set>

namespace nimbalo {

namespace {

// How long a batch waits for the last search on the spare copy before copying afresh.
constexpr auto kLongestHold = std::chrono::milliseconds(50);

}  // namespace

LiveFollower::LiveFollower(std::unique_ptr<ChangeFeed> feed, FollowHooks hooks, FollowTiming timing)
    : feed_(std::move(feed)), hooks_(std::move(hooks)), timing_(timing), thread_([this] { run(); }) {}

LiveFollower::~LiveFollower() { stop(); }

void LiveFollower::adopt(Index index, JournalPosition at, bool save) {
    auto ptr = std::make_shared<Index>(std::move(index));
    std::lock_guard lock(lock_);
    if (hooks_.publish) hooks_.publish(ptr);
    adopted_.emplace(std::move(ptr), at);
    adopted_save_ = save;
    waiting_for_rebuild_ = false;
    wake_.notify_all();
}

Result<JournalPosition> LiveFollower::position_now() {
    std::lock_guard lock(feed_lock_);
    auto q = feed_->query();
    if (!q) return std::move(q).take_error();
    return JournalPosition{q->journal_id, uint64_t(q->next)};
}

void LiveFollower::stop() {
    {
        std::lock_guard lock(lock_);
        if (stopping_) return;
        stopping_ = true;
        wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
}

uint64_t LiveFollower::batches_applied() const {
    std::lock_guard lock(lock_);
    return applied_;
}

void LiveFollower::run() {
    for (;;) {
        {
            std::unique_lock lock(lock_);
            wake_.wait_for(lock, timing_.period, [this] { return stopping_ || adopted_.has_value(); });
            if (stopping_) break;
            if (adopted_) {
                published_ = std::move(adopted_->first);
                position_ = adopted_->second;
                adopted_.reset();
                spare_.reset();
                spare_behind_.clear();
                dirty_ = *adopted_save_;
                last_save_ = std::chrono::steady_clock::time_point{};  // an adopted rebuild is saved at once
            }
            if (!published_ || waiting_for_rebuild_) continue;
        }
        try {
            step();
            if (dirty_ && std::chrono::steady_clock::now() - last_save_ >= timing_.save_interval) save_now();
        } catch (const std::bad_alloc&) {
            fall_back("not enough memory to apply changes");
        }
    }
    if (dirty_ && published_) save_now();
}

bool LiveFollower::step() {
    LiveBatch batch;
    uint64_t next = 0;
    {
        std::lock_guard lock(feed_lock_);
        auto q = feed_->query();
        if (!q) return false;  // a passing failure: try again next period
        if (q->journal_id != position_.journal_id) {
            fall_back("the change journal was re-created (id " + std::to_string(position_.journal_id) + " is now " +
                      std::to_string(q->journal_id) + ")");
            return false;
        }
        if (int64_t(position_.next) < q->first) {
            fall_back("the change journal no longer holds position " + std::to_string(position_.next) +
                      " (oldest record " + std::to_string(q->first) + "): changes were lost");
            return false;
        }
        if (int64_t(position_.next) > q->next) {
            fall_back("the change journal ends at " + std::to_string(q->next) + ", before position " +
                      std::to_string(position_.next));
            return false;
        }
        if (int64_t(position_.next) == q->next) return false;
        auto read = feed_->read(int64_t(position_.next));
        if (!read) return false;
        next = uint64_t(read->next);
        batch.changes = std::move(read->changes);
        std::vector<uint64_t> numbers;
        for (const UsnChange& c : batch.changes)
            if (c.reason & kReasonsToRead) numbers.push_back(c.record);
        for (ReadRecord& r : feed_->records(numbers)) batch.records.push_back({r.number, r.in_use, std::move(r.names)});
    }
    const bool any = !batch.changes.empty();
    if (any) apply(std::move(batch));
    position_.next = next;
    return any;
}

void LiveFollower::apply(LiveBatch batch) {
    catch_up_spare(true);
    apply_live_batch(*spare_, batch);
    compact_if_wasteful(*spare_);
    {
        std::lock_guard lock(lock_);
        if (adopted_) return;  // a rebuild came in meanwhile and replaces all of this
        if (hooks_.publish) hooks_.publish(spare_);
        ++applied_;
    }
    std::swap(published_, spare_);
    spare_behind_.push_back(std::move(batch));
    dirty_ = true;
    catch_up_spare(false);  // usually free at once: then the next batch does not wait
}

// Brings spare_ level with published_: made as a copy the first time, else the batches it missed
// replayed once no search holds it any more (wait), or only if none does (no wait).
void LiveFollower::catch_up_spare(bool wait) {
    if (!spare_) {
        spare_ = std::make_shared<Index>(*published_);
        spare_behind_.clear();
        return;
    }
    if (spare_behind_.empty()) return;
    // Searches hold an index for milliseconds; one held longer (a slow client) is left to its
    // holder, and the spare is made afresh as a copy of the published index instead.
    const auto give_up = std::chrono::steady_clock::now() + kLongestHold;
    while (spare_.use_count() > 1) {
        if (!wait) return;
        if (std::chrono::steady_clock::now() > give_up) {
            spare_ = std::make_shared<Index>(*published_);
            spare_behind_.clear();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    for (const LiveBatch& b : spare_behind_) {
        apply_live_batch(*spare_, b);
        compact_if_wasteful(*spare_);
    }
    spare_behind_.clear();
}

void LiveFollower::fall_back(const std::string& why) {
    if (hooks_.log) hooks_.log("rebuilding the index: " + why);
    {
        std::lock_guard lock(lock_);
        waiting_for_rebuild_ = true;
    }
    if (hooks_.rebuild) hooks_.rebuild();
}

void LiveFollower::save_now() {
    if (hooks_.save) hooks_.save(*published_, position_);
    dirty_ = false;
    last_save_ = std::chrono::steady_clock::now();
}

}  // namespace nimbalo
