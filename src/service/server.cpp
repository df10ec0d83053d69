#include "service/server.h"

#include <array>
#include <chrono>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "common/task_pool.h"
#include "platform/poller.h"
#include "service/http_request.h"

namespace nimbalo {

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint64_t kListenerKey = 0;
constexpr uint32_t kMaxWaitMs = 20;         // how late the stop flag and answered sockets are seen
constexpr int kAcceptsPerWake = 256;
constexpr milliseconds kAcceptPause{10};    // after a failed accept (e.g. out of descriptors)

struct Connection {
    platform::Socket socket;
    std::string received;
    bool draining = false;  // answered: what arrives now is read and dropped
};

// Answered sockets on their way back from the workers. Outlives the loop: a worker that
// finishes after the loop ended closes its socket itself.
struct Returns {
    std::mutex mutex;
    std::vector<platform::Socket> sockets;
    bool closed = false;

    void give_back(platform::Socket s) {
        std::lock_guard lock(mutex);
        if (!closed) sockets.push_back(std::move(s));
    }
};

// What a worker does with a complete request: answer it whole, then end our sending side.
void answer(platform::Socket& s, const std::string& received, const RequestHandler& handler, uint32_t send_timeout_ms) {
    const std::string response = handler(received);
    if (s.set_blocking(true) && s.set_timeouts(send_timeout_ms, send_timeout_ms)) (void)s.send_all(response);
    s.shutdown_send();
    (void)s.set_blocking(false);
}

class Loop {
public:
    Loop(platform::Socket listener, std::shared_ptr<const RequestHandler> handler, ServerLimits limits)
        : listener_(std::move(listener)), handler_(std::move(handler)), limits_(limits) {}

    ~Loop() {
        {
            std::lock_guard lock(returns_->mutex);
            returns_->closed = true;
            returns_->sockets.clear();
        }
        for (auto& [key, c] : connections_) poller_.remove(c.socket);
        if (listening_) poller_.remove(listener_);
    }

    void run(const std::atomic<bool>& stop) {
        if (!poller_.ok() || !(listening_ = poller_.add(listener_, kListenerKey).ok())) return;
        while (!stop.load()) {
            take_back_answered();
            for (const uint64_t key : poller_.wait(wait_ms())) {
                if (key == kListenerKey) accept_all();
                else readable(key);
            }
            expire();
        }
    }

private:
    uint32_t wait_ms() {
        auto until = Clock::now() + milliseconds(kMaxWaitMs);
        if (!reading_.empty() && reading_.front().first < until) until = reading_.front().first;
        const auto left = std::chrono::duration_cast<milliseconds>(until - Clock::now()).count();
        return left <= 0 ? 0 : uint32_t(left);
    }

    void accept_all() {
        int accepted = 0;
        for (; accepted < kAcceptsPerWake; ++accepted) {
            auto s = platform::accept_connection(listener_);
            if (!s) break;
            if (connections_.size() >= limits_.max_connections || !s->set_blocking(false)) continue;  // closed here
            const uint64_t key = next_key_++;
            if (!poller_.add(*s, key)) continue;
            connections_.emplace(key, Connection{std::move(*s), {}, false});
            reading_.emplace_back(Clock::now() + milliseconds(limits_.request_timeout_ms), key);
        }
        if (accepted == 0) {  // readable, yet nothing to take: do not spin on it
            poller_.remove(listener_);
            listening_ = false;
            accept_paused_until_ = Clock::now() + kAcceptPause;
        }
    }

    void readable(uint64_t key) {
        const auto it = connections_.find(key);
        if (it == connections_.end()) return;
        Connection& c = it->second;
        std::array<char, http::kMaxRequestBytes> buf;
        if (c.draining) {
            auto n = c.socket.receive(buf);
            if (!n || *n == 0) close(it);
            return;
        }
        auto n = c.socket.receive(std::span<char>(buf.data(), http::kMaxRequestBytes - c.received.size()));
        if (n && *n > 0) c.received.append(buf.data(), *n);
        const bool ended = !n || *n == 0;  // the client's end of sending, or an error
        if (c.received.size() >= http::kMaxRequestBytes || http::head_complete(c.received)) dispatch(it);
        else if (ended) refuse(it);
    }

    // An incomplete request runs nothing and gets the short fallback answer, which a fresh
    // socket's send buffer always takes at once: answered here, so that thousands of them
    // (idle connections reaching their deadline together) never queue ahead of real requests.
    void refuse(std::unordered_map<uint64_t, Connection>::iterator it) {
        Connection& c = it->second;
        (void)c.socket.send_all((*handler_)(c.received));
        c.socket.shutdown_send();
        c.received.clear();
        c.draining = true;
        draining_.emplace_back(Clock::now() + milliseconds(limits_.drain_ms), it->first);
    }

    // The request is as complete as it will get: a worker answers it.
    void dispatch(std::unordered_map<uint64_t, Connection>::iterator it) {
        poller_.remove(it->second.socket);
        auto job = std::make_shared<Connection>(std::move(it->second));
        connections_.erase(it);
        TaskPool::shared().post([job, handler = handler_, returns = returns_, timeout = limits_.send_timeout_ms] {
            answer(job->socket, job->received, *handler, timeout);
            returns->give_back(std::move(job->socket));
        });
    }

    void take_back_answered() {
        std::vector<platform::Socket> back;
        {
            std::lock_guard lock(returns_->mutex);
            back.swap(returns_->sockets);
        }
        const auto until = Clock::now() + milliseconds(limits_.drain_ms);
        for (auto& s : back) {
            const uint64_t key = next_key_++;
            if (!poller_.add(s, key)) continue;  // closed here
            connections_.emplace(key, Connection{std::move(s), {}, true});
            draining_.emplace_back(until, key);
        }
    }

    // Requests out of time are refused; drains out of time are closed. Both lists are in
    // deadline order.
    void expire() {
        const auto now = Clock::now();
        while (!reading_.empty() && reading_.front().first <= now) {
            const auto it = connections_.find(reading_.front().second);
            reading_.pop_front();
            if (it != connections_.end() && !it->second.draining) refuse(it);
        }
        while (!draining_.empty() && draining_.front().first <= now) {
            const auto it = connections_.find(draining_.front().second);
            draining_.pop_front();
            if (it != connections_.end()) close(it);
        }
        if (!listening_ && now >= accept_paused_until_) listening_ = poller_.add(listener_, kListenerKey).ok();
    }

    void close(std::unordered_map<uint64_t, Connection>::iterator it) {
        poller_.remove(it->second.socket);
        connections_.erase(it);
    }

    platform::Socket listener_;
    std::shared_ptr<const RequestHandler> handler_;
    ServerLimits limits_;
    platform::Poller poller_;
    bool listening_ = false;
    Clock::time_point accept_paused_until_{};
    uint64_t next_key_ = kListenerKey + 1;
    std::unordered_map<uint64_t, Connection> connections_;
    std::deque<std::pair<Clock::time_point, uint64_t>> reading_;   // request deadlines, accept order
    std::deque<std::pair<Clock::time_point, uint64_t>> draining_;  // drain deadlines, answer order
    std::shared_ptr<Returns> returns_ = std::make_shared<Returns>();
};

}  // namespace

void run_accept_loop(platform::Socket listener, const std::atomic<bool>& stop,
                     std::shared_ptr<const RequestHandler> handler, ServerLimits limits) {
    Loop(std::move(listener), std::move(handler), limits).run(stop);
}

}  // namespace nimbalo
