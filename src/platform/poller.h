// Poller: waits on many sockets at once for readability (data, a new connection on a listener,
// the peer's end or an error), each known by a key the caller chooses. Linux: epoll (level-
// triggered); Windows: WSAPoll over a packed array. One thread uses a poller at a time; a socket
// must be removed before it is closed. Cost per wait: O(ready) on Linux, O(watched) on Windows.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "common/result.h"
#include "platform/net.h"

namespace nimbalo::platform {

class Poller {
public:
    Poller();
    ~Poller();
    Poller(const Poller&) = delete;  // owns an OS object (Linux) or the watch list
    Poller& operator=(const Poller&) = delete;

    bool ok() const;  // false when the OS object could not be made
    Status add(const Socket& s, uint64_t key);
    void remove(const Socket& s);
    // Keys of the watched sockets that are ready, after waiting up to timeout_ms (none on time-out).
    std::vector<uint64_t> wait(uint32_t timeout_ms);

private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace nimbalo::platform
