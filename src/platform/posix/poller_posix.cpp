#include <errno.h>
#include <sys/epoll.h>
#include <unistd.h>

#include "platform/poller.h"
#include "platform/system.h"

namespace nimbalo::platform {

struct Poller::State {
    int fd = -1;
};

Poller::Poller() : state_(std::make_unique<State>()) { state_->fd = ::epoll_create1(EPOLL_CLOEXEC); }

Poller::~Poller() {
    if (state_->fd >= 0) ::close(state_->fd);
}

bool Poller::ok() const { return state_->fd >= 0; }

Status Poller::add(const Socket& s, uint64_t key) {
    epoll_event ev{};
    ev.events = EPOLLIN | EPOLLRDHUP;
    ev.data.u64 = key;
    if (::epoll_ctl(state_->fd, EPOLL_CTL_ADD, int(s.handle()), &ev) != 0) return fail(system_error_text(errno));
    return {};
}

void Poller::remove(const Socket& s) { (void)::epoll_ctl(state_->fd, EPOLL_CTL_DEL, int(s.handle()), nullptr); }

std::vector<uint64_t> Poller::wait(uint32_t timeout_ms) {
    epoll_event events[256];
    int n;
    while ((n = ::epoll_wait(state_->fd, events, 256, int(timeout_ms))) < 0 && errno == EINTR) {
    }
    std::vector<uint64_t> keys;
    for (int i = 0; i < n; ++i) keys.push_back(events[i].data.u64);
    return keys;
}

}  // namespace nimbalo::platform
