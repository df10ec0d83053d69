#include <winsock2.h>
#include <windows.h>

#include <unordered_map>

#include "platform/poller.h"
#include "platform/system.h"

namespace nimbalo::platform {

// The watch list is packed: removing a socket moves the last entry into its place.
struct Poller::State {
    std::vector<WSAPOLLFD> fds;
    std::vector<uint64_t> keys;
    std::unordered_map<SOCKET, size_t> slot;
};

Poller::Poller() : state_(std::make_unique<State>()) {}
Poller::~Poller() = default;

bool Poller::ok() const { return true; }

Status Poller::add(const Socket& s, uint64_t key) {
    const SOCKET sock = static_cast<SOCKET>(s.handle());
    if (state_->slot.count(sock)) return fail("socket watched twice");
    WSAPOLLFD p{};
    p.fd = sock;
    p.events = POLLRDNORM;
    state_->slot[sock] = state_->fds.size();
    state_->fds.push_back(p);
    state_->keys.push_back(key);
    return {};
}

void Poller::remove(const Socket& s) {
    const auto it = state_->slot.find(static_cast<SOCKET>(s.handle()));
    if (it == state_->slot.end()) return;
    const size_t i = it->second, last = state_->fds.size() - 1;
    state_->slot.erase(it);
    if (i != last) {
        state_->fds[i] = state_->fds[last];
        state_->keys[i] = state_->keys[last];
        state_->slot[state_->fds[i].fd] = i;
    }
    state_->fds.pop_back();
    state_->keys.pop_back();
}

std::vector<uint64_t> Poller::wait(uint32_t timeout_ms) {
    std::vector<uint64_t> keys;
    if (state_->fds.empty()) {
        Sleep(timeout_ms);
        return keys;
    }
    const int n = WSAPoll(state_->fds.data(), ULONG(state_->fds.size()), INT(timeout_ms));
    if (n <= 0) return keys;
    for (size_t i = 0; i < state_->fds.size(); ++i)
        if (state_->fds[i].revents != 0) keys.push_back(state_->keys[i]);
    return keys;
}

}  // namespace nimbalo::platform
