#include "service/lifecycle.h"

#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

#include "index/index_store.h"
#include "platform/data_folder.h"
#include "platform/file_io.h"
#include "platform/system.h"

namespace nimbalo {

struct IndexService::Shared {
    IndexSource source;

    mutable std::mutex index_lock;  // guards current only for the exchange or a copy of the pointer
    std::shared_ptr<const Index> current;

    mutable std::mutex schedule_lock;
    mutable std::condition_variable idle;
    bool running = false;
    bool pending = false;
    bool stopping = false;  // set by stop(): no rebuild starts any more
    uint64_t started = 0;

    mutable std::mutex save_lock;  // one save at a time

    std::string path() const {
        return source.folder.empty() ? std::string() : platform::join_path(source.folder, kIndexFileName);
    }

    void log(std::string_view text) const {
        if (source.log) source.log(text);
    }

    void publish(std::shared_ptr<const Index> next) {
        std::shared_ptr<const Index> previous;
        {
            std::lock_guard lock(index_lock);
            previous = std::exchange(current, std::move(next));
        }
        // previous is released here, outside the lock (freeing an index takes a while).
    }

    // A failure is logged, not returned: the index in memory is served either way, and a start
    // that finds no usable file rebuilds.
    void save(const Index& index, std::optional<JournalPosition> position) const {
        if (source.folder.empty()) return;
        std::lock_guard lock(save_lock);
        if (auto st = platform::create_private_folder(source.folder, false); !st) {
            log("index not saved: cannot secure " + source.folder + ": " + st.error());
            return;
        }
        if (!platform::folder_is_trusted(source.folder)) {
            log("index not saved: " + source.folder + " may be written by other users");
            return;
        }
        if (auto st = save_index_set(index, source.folder, position); !st) log("index not saved: " + st.error());
    }

    // Set once by start() when the drive's journal can be followed; lives as long as this.
    std::unique_ptr<LiveFollower> live;  // last: destroyed (and joined) first
};

namespace {

void run_rebuilds(std::shared_ptr<IndexService::Shared> s) {
    for (;;) {
        // Where the journal stands before the MFT is read: following resumes there, so nothing
        // that changes during the build is missed (changes already in the build apply as no-ops).
        std::optional<JournalPosition> at;
        if (s->live) {
            if (auto p = s->live->position_now()) at = *p;
        }
        Result<Index> built = fail("");
        try {
            built = s->source.build();
        } catch (const std::bad_alloc&) {
            built = fail("not enough memory to build the index");
        }
        if (!built) s->log("rebuild failed: " + built.error());
        if (built && at) {
            s->save(*built, at);
            s->live->adopt(std::move(*built), *at, false);
        } else if (built) {
            s->save(*built, std::nullopt);
            s->publish(std::make_shared<const Index>(std::move(*built)));
        }
        std::lock_guard lock(s->schedule_lock);
        if (s->pending) {
            s->pending = false;
            ++s->started;
            continue;
        }
        s->running = false;
        s->idle.notify_all();
        return;
    }
}

void schedule_rebuild(const std::shared_ptr<IndexService::Shared>& s) {
    std::lock_guard lock(s->schedule_lock);
    if (s->stopping) return;
    if (s->running) {
        s->pending = true;
        return;
    }
    try {
        std::thread(run_rebuilds, s).detach();
    } catch (const std::system_error&) {
        return;  // no thread to be had: the request has no effect, as a failed rebuild would
    }
    s->running = true;
    ++s->started;
}

// Why a saved position cannot be caught up from, or empty when it can.
std::string why_not_catch_up(LiveFollower& live, const LoadedIndex& loaded) {
    if (!loaded.has_maps || !loaded.position) return "the saved index has no journal position";
    auto now = live.position_now();
    if (!now) return now.error();
    if (now->journal_id != loaded.position->journal_id) return "the change journal was re-created";
    if (now->next < loaded.position->next) return "the change journal ends before the saved position";
    return {};
}

}  // namespace

IndexService::IndexService(IndexSource source) : shared_(std::make_shared<Shared>()) {
    shared_->source = std::move(source);
}

IndexService::~IndexService() { stop(); }

std::string IndexService::index_path() const { return shared_->path(); }

void IndexService::start_following() {
    auto& s = *shared_;
    if (!s.source.open_feed) return;
    auto feed = s.source.open_feed();
    if (!feed) {
        s.log("not following changes of " + std::string(1, s.source.letter) + ": (" + feed.error() +
              "); the index changes on rebuilds only");
        return;
    }
    std::weak_ptr<Shared> weak = shared_;
    FollowHooks hooks;
    hooks.publish = [weak](std::shared_ptr<const Index> ix) {
        if (auto s = weak.lock()) s->publish(std::move(ix));
    };
    hooks.save = [weak](const Index& ix, JournalPosition at) {
        if (auto s = weak.lock()) s->save(ix, at);
    };
    hooks.rebuild = [weak] {
        if (auto s = weak.lock()) schedule_rebuild(s);
    };
    hooks.log = [weak](std::string_view text) {
        if (auto s = weak.lock()) s->log(text);
    };
    s.live = std::make_unique<LiveFollower>(std::move(*feed), std::move(hooks), s.source.timing);
}

Status IndexService::start() {
    auto& s = *shared_;
    if (!s.source.folder.empty()) {
        // Ours but open to others: made private again; anyone else's: refused below.
        if (auto st = platform::create_private_folder(s.source.folder, false); !st)
            s.log("cannot secure " + s.source.folder + ": " + st.error());
    }
    start_following();
    if (!s.source.folder.empty() && platform::folder_is_trusted(s.source.folder)) {
        if (const size_t n = remove_stale_temp_files(s.source.folder); n > 0)
            s.log("removed " + std::to_string(n) + " temporary file(s) of an interrupted save");
        auto loaded = load_index_set(s.source.folder, s.source.letter);
        if (loaded) {
            if (s.live) {
                const std::string why = why_not_catch_up(*s.live, *loaded);
                if (why.empty()) {
                    // Catch up from the journal instead of rebuilding.
                    const JournalPosition at = *loaded->position;
                    s.live->adopt(std::move(loaded->index), at, false);
                    return {};
                }
                s.log("rebuilding the index in the background: " + why);
            }
            s.publish(std::make_shared<const Index>(std::move(loaded->index)));
            reindex();
            return {};
        }
        if (platform::path_exists(s.path())) s.log("index.bin not used (" + loaded.error() + "): rebuilding");
    } else if (!s.source.folder.empty() && platform::path_exists(s.source.folder)) {
        s.log("not using " + s.source.folder + ": other users may write to it");
    }
    std::optional<JournalPosition> at;
    if (s.live) {
        if (auto p = s.live->position_now()) at = *p;
    }
    auto built = s.source.build();
    if (!built) return std::move(built).take_error();
    if (at) {
        s.save(*built, at);
        s.live->adopt(std::move(*built), *at, false);
    } else {
        s.save(*built, std::nullopt);
        s.publish(std::make_shared<const Index>(std::move(*built)));
    }
    return {};
}

void IndexService::stop() {
    // A rebuild still running when the process ends would be cut off inside the volume reader,
    // the parallel sort or a save while the process's statics are torn down: wait for it.
    {
        std::lock_guard lock(shared_->schedule_lock);
        shared_->stopping = true;
        shared_->pending = false;
    }
    wait_for_rebuilds();
    if (shared_->live) shared_->live->stop();
}

bool IndexService::following() const { return shared_->live != nullptr; }

void IndexService::reindex() { schedule_rebuild(shared_); }

void IndexService::publish(Index index) { shared_->publish(std::make_shared<const Index>(std::move(index))); }

std::shared_ptr<const Index> IndexService::current() const {
    std::lock_guard lock(shared_->index_lock);
    return shared_->current;
}

void IndexService::wait_for_rebuilds() const {
    std::unique_lock lock(shared_->schedule_lock);
    shared_->idle.wait(lock, [&] { return !shared_->running; });
}

uint64_t IndexService::rebuilds_started() const {
    std::lock_guard lock(shared_->schedule_lock);
    return shared_->started;
}

}  // namespace nimbalo
