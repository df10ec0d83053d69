#include "service/lifecycle.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/data_folder.h"
#include "platform/system.h"
#include "index/index_file.h"

namespace nimbalo {

struct IndexService::Shared {
    IndexSource source;

    mutable std::mutex index_lock;  // guards current only for the exchange or a copy of the pointer
    std::shared_ptr<const Index> current;

    mutable std::mutex schedule_lock;
    mutable std::condition_variable idle;
    bool running = false;
    bool pending = false;
    uint64_t started = 0;

    std::string path() const {
        return source.folder.empty() ? std::string() : platform::join_path(source.folder, "index.bin");
    }

    void publish(Index index) {
        auto next = std::make_shared<const Index>(std::move(index));
        std::shared_ptr<const Index> previous;
        {
            std::lock_guard lock(index_lock);
            previous = std::exchange(current, std::move(next));
        }
        // previous is released here, outside the lock (freeing an index takes a while).
    }

    // Errors are dropped: the index in memory is served either way, and a start that finds no
    // usable file rebuilds.
    void save(const Index& index) const {
        if (source.folder.empty()) return;
        (void)platform::create_private_folder(source.folder, false);
        if (!platform::folder_is_trusted(source.folder)) return;
        (void)save_index(index, path());
    }
};

namespace {

void run_rebuilds(std::shared_ptr<IndexService::Shared> s) {
    for (;;) {
        auto built = s->source.build();
        if (built) {
            s->save(*built);
            s->publish(std::move(*built));
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

}  // namespace

IndexService::IndexService(IndexSource source) : shared_(std::make_shared<Shared>()) {
    shared_->source = std::move(source);
}

std::string IndexService::index_path() const { return shared_->path(); }

Status IndexService::start() {
    auto& s = *shared_;
    if (!s.source.folder.empty() && platform::folder_is_trusted(s.source.folder)) {
        if (auto loaded = load_index(s.path(), s.source.letter)) {
            s.publish(std::move(*loaded));
            reindex();
            return {};
        }
    }
    auto built = s.source.build();
    if (!built) return std::move(built).take_error();
    s.save(*built);
    s.publish(std::move(*built));
    return {};
}

void IndexService::reindex() {
    std::lock_guard lock(shared_->schedule_lock);
    if (shared_->running) {
        shared_->pending = true;
        return;
    }
    try {
        std::thread(run_rebuilds, shared_).detach();
    } catch (const std::system_error&) {
        return;  // no thread to be had: the request has no effect, as a failed rebuild would
    }
    shared_->running = true;
    ++shared_->started;
}

void IndexService::publish(Index index) { shared_->publish(std::move(index)); }

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
