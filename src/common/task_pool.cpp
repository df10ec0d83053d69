#include "common/task_pool.h"

#include <atomic>
#include <memory>

namespace nimbalo {

TaskPool::TaskPool(unsigned workers) {
    threads_.reserve(workers);
    for (unsigned i = 0; i < workers; ++i) threads_.emplace_back([this] { work(); });
}

TaskPool::~TaskPool() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
}

TaskPool& TaskPool::shared() {
    static TaskPool* pool = new TaskPool(std::max(2u, std::thread::hardware_concurrency()));
    return *pool;
}

void TaskPool::post(std::function<void()> task) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(task));
    }
    wake_.notify_one();
}

void TaskPool::work() {
    for (;;) {
        std::function<void()> task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;  // stopping, and nothing left
            task = std::move(queue_.front());
            queue_.pop_front();
        }
        task();
    }
}

namespace {

// What the caller and its helpers share; helpers that start late find nothing left to claim.
struct Batch {
    const std::function<void(int64_t)>* fn;
    int64_t n;
    std::atomic<int64_t> next{0};
    std::atomic<int64_t> done{0};
    std::mutex mutex;
    std::condition_variable finished;

    void run() {
        int64_t ran = 0;
        for (int64_t i; (i = next.fetch_add(1)) < n; ++ran) (*fn)(i);
        if (ran > 0 && done.fetch_add(ran) + ran == n) {
            std::lock_guard lock(mutex);
            finished.notify_all();
        }
    }
};

}  // namespace

void TaskPool::parallel_for(int64_t n, const std::function<void(int64_t)>& fn) {
    if (n <= 0) return;
    auto batch = std::make_shared<Batch>();
    batch->fn = &fn;
    batch->n = n;
    const int64_t helpers = std::min<int64_t>(n - 1, int64_t(size()));
    for (int64_t h = 0; h < helpers; ++h) post([batch] { batch->run(); });
    batch->run();
    std::unique_lock lock(batch->mutex);
    batch->finished.wait(lock, [&] { return batch->done.load() == n; });
}

}  // namespace nimbalo
