#include "net/ReadySet.h"

#include <cerrno>
#include <new>

namespace corvane {

bool ReadySet::open() {
    if (epoll_) {
        return true;
    }
    try {
        // A look always has room for one result, even in a set without
        // sockets, which then just waits its time.
        events_.resize(1);
        found_.reserve(1);
    } catch (const std::bad_alloc&) {
        return false;
    }
    epoll_.reset(::epoll_create1(EPOLL_CLOEXEC));
    return isOpen();
}

bool ReadySet::watch(int fd, std::uint64_t token, std::uint32_t events, Readiness& readiness) {
    if (readiness.inSet && readiness.watched == events) {
        return true;
    }
    epoll_event event{};
    event.events = events;
    event.data.u64 = token;
    if (readiness.inSet) {
        if (::epoll_ctl(epoll_.get(), EPOLL_CTL_MOD, fd, &event) != 0) {
            return false;
        }
        readiness.watched = events;
        return true;
    }
    // Room for every socket in a look's result is made here, where a
    // failure can still refuse the socket, never in the look itself.
    try {
        if (events_.size() < watching_ + 1) {
            events_.resize(watching_ + 1);
            found_.reserve(watching_ + 1);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (::epoll_ctl(epoll_.get(), EPOLL_CTL_ADD, fd, &event) != 0) {
        return false;
    }
    ++watching_;
    readiness.inSet = true;
    readiness.watched = events;
    readiness.events = 0;
    return true;
}

void ReadySet::forget(int fd, Readiness& readiness) {
    if (!readiness.inSet) {
        return;
    }
    // Cannot fail for a socket in the set; were it gone already, it is out.
    ::epoll_ctl(epoll_.get(), EPOLL_CTL_DEL, fd, nullptr);
    --watching_;
    readiness = {};
}

std::span<const ReadySet::Found> ReadySet::look(int timeoutMs) {
    ++lookNumber_;
    found_.clear();
    if (!epoll_) {
        return {};
    }
    // The buffer holds every socket of the set, so one look sees them all:
    // a socket left out would count as not ready until the next look.
    const int count = ::epoll_wait(epoll_.get(), events_.data(), static_cast<int>(events_.size()),
                                   timeoutMs < 0 ? 0 : timeoutMs);
    // A signal (EINTR) ends the wait with nothing found: the caller's loop
    // must get to see it.
    for (int i = 0; i < count; ++i) {
        found_.push_back({events_[static_cast<std::size_t>(i)].data.u64,
                          events_[static_cast<std::size_t>(i)].events});
    }
    return found_;
}

}  // namespace corvane
