// Channel<T>: an unbounded first-in first-out queue between threads. Sending never blocks and
// never fails while the receiving side is open; the receiver can wait without a time limit, wait
// with one, or take without waiting. Either side may close it: after close() nothing more is
// accepted (send returns false), and receivers get what is still queued, then nothing.
// Thread-safe for any number of senders and receivers; shared through std::shared_ptr by the two
// sides, so it lives as long as either holds it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace nimbalo {

template <class T>
class Channel {
public:
    // False when the channel is closed: the message is dropped.
    bool send(T value) {
        {
            std::lock_guard lock(mutex_);
            if (closed_) return false;
            queue_.push_back(std::move(value));
        }
        ready_.notify_one();
        return true;
    }

    // The next message; waits as long as the channel is open and empty. Nothing once it is closed
    // and drained.
    std::optional<T> receive() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return !queue_.empty() || closed_; });
        return take_locked();
    }

    // As receive(), but waits at most timeout.
    std::optional<T> receive_for(std::chrono::milliseconds timeout) {
        std::unique_lock lock(mutex_);
        ready_.wait_for(lock, timeout, [&] { return !queue_.empty() || closed_; });
        return take_locked();
    }

    // The next message if one is queued; never waits.
    std::optional<T> try_receive() {
        std::lock_guard lock(mutex_);
        return take_locked();
    }

    void close() {
        {
            std::lock_guard lock(mutex_);
            closed_ = true;
        }
        ready_.notify_all();
    }

    // Closed and nothing left to receive.
    bool finished() const {
        std::lock_guard lock(mutex_);
        return closed_ && queue_.empty();
    }

private:
    std::optional<T> take_locked() {
        if (queue_.empty()) return std::nullopt;
        T v = std::move(queue_.front());
        queue_.pop_front();
        return v;
    }

    mutable std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<T> queue_;
    bool closed_ = false;
};

}  // namespace nimbalo
