// Bounded first-in-first-out hand-over between one producer and one consumer thread. push blocks
// while the queue is full; pop blocks while it is empty and returns nullopt once the producer has
// closed its end and the queue has drained. Thread-safe; O(1) per operation.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace nimbalo {

template <class T>
class ChunkQueue {
public:
    explicit ChunkQueue(size_t capacity) : capacity_(capacity) {}
    ChunkQueue(const ChunkQueue&) = delete;  // shared by reference between the two threads
    ChunkQueue& operator=(const ChunkQueue&) = delete;

    void push(T item) {
        std::unique_lock lock(mutex_);
        not_full_.wait(lock, [&] { return items_.size() < capacity_; });
        items_.push_back(std::move(item));
        not_empty_.notify_one();
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        not_empty_.notify_all();
    }
    std::optional<T> pop() {
        std::unique_lock lock(mutex_);
        not_empty_.wait(lock, [&] { return !items_.empty() || closed_; });
        if (items_.empty()) return std::nullopt;
        T item = std::move(items_.front());
        items_.pop_front();
        not_full_.notify_one();
        return item;
    }

private:
    std::mutex mutex_;
    std::condition_variable not_full_, not_empty_;
    std::deque<T> items_;
    size_t capacity_;
    bool closed_ = false;
};

}  // namespace nimbalo
