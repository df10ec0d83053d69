// TaskPool: a fixed set of worker threads fed from one queue. The process has one, shared():
// the loopback service hands it complete requests, and the searches run their parallel scans on
// it, so the number of busy threads stays the number of workers however many clients there are.
//
// parallel_for lets the caller take part: it claims items itself while idle workers help, and
// it never waits for a worker to become free, so it is safe (and merely runs serially) when every
// worker is busy, including when it is called from a worker. Tasks run in the order posted.
// Thread-safe. A task must not throw.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace nimbalo {

class TaskPool {
public:
    explicit TaskPool(unsigned workers);
    ~TaskPool();  // runs what is queued, then joins the workers
    TaskPool(const TaskPool&) = delete;  // owns its threads
    TaskPool& operator=(const TaskPool&) = delete;

    // The process's pool: one worker per hardware thread (at least two). Never destroyed, so
    // tasks still running at exit do not race its destruction.
    static TaskPool& shared();

    unsigned size() const { return unsigned(threads_.size()); }
    void post(std::function<void()> task);
    // fn(i) for every i in [0, n), each exactly once, on the caller and idle workers; returns when
    // all have returned.
    void parallel_for(int64_t n, const std::function<void(int64_t)>& fn);

private:
    void work();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace nimbalo
