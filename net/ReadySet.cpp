#include "net/ReadySet.h"

#include <sys/epoll.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

namespace corvane {

namespace {

std::uint32_t epollEvents(short pollEvents) {
    std::uint32_t events = 0;
    if ((pollEvents & POLLIN) != 0) {
        events |= EPOLLIN;
    }
    if ((pollEvents & POLLOUT) != 0) {
        events |= EPOLLOUT;
    }
    return events;
}

}  // namespace

bool ReadySet::watch(const pollfd& entry) {
    epoll_event event{};
    event.events = epollEvents(entry.events);
    event.data.fd = entry.fd;
    // Every entry is added or changed on each call, never skipped as "already
    // there": a closed socket leaves the set by itself, and a new one may come
    // back under the same number, which a remembered list could not tell.
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, entry.fd, &event) == 0) {
        return true;
    }
    return errno == EEXIST && ::epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, entry.fd, &event) == 0;
}

bool ReadySet::watchOnly(const pollfd* entries, std::size_t count) {
    if (!epoll_) {
        epoll_.reset(::epoll_create1(EPOLL_CLOEXEC));
        if (!epoll_) {
            return false;
        }
    }
    std::vector<int> now;
    try {
        now.reserve(count);
    } catch (const std::bad_alloc&) {
        return false;
    }
    bool complete = true;
    for (std::size_t i = 0; i < count; ++i) {
        if (entries[i].fd >= 0) {
            complete = watch(entries[i]) && complete;
            now.push_back(entries[i].fd);
        }
    }
    for (int fd : watched_) {
        if (std::find(now.begin(), now.end(), fd) == now.end()) {
            // Fails harmlessly for a socket closed meanwhile: it is gone already.
            ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
        }
    }
    watched_.swap(now);
    return complete;
}

}  // namespace corvane
