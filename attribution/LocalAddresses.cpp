#include "attribution/LocalAddresses.h"

#include <ifaddrs.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <array>
#include <cerrno>

namespace corvane {

namespace {

// How old the list may grow when no change notice can be trusted.
constexpr std::int64_t UnwatchedLifetime = 5 * NanosecondsPerSecond;
// Notices read at one ask at most; more waiting means a change all the same.
constexpr int MaxNoticesDrained = 64;

UniqueFd subscribeToAddressChanges() {
    UniqueFd fd(::socket(AF_NETLINK, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, NETLINK_ROUTE));
    if (!fd) {
        return fd;
    }
    sockaddr_nl groups{};
    groups.nl_family = AF_NETLINK;
    groups.nl_groups = RTMGRP_IPV4_IFADDR;
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&groups), sizeof groups) != 0) {
        fd.reset();
    }
    return fd;
}

}  // namespace

LocalAddresses::LocalAddresses(const MonotonicClock& clock)
    : clock_(clock), changes_(subscribeToAddressChanges()) {
    read();
}

bool LocalAddresses::contains(std::uint32_t address) {
    if (changedSinceRead()) {
        read();
    }
    return std::find(addresses_.begin(), addresses_.end(), address) != addresses_.end();
}

bool LocalAddresses::changedSinceRead() {
    if (!changes_ || !readWhole_) {
        return !readWhole_ || clock_.nanoseconds() - readAt_ >= UnwatchedLifetime;
    }
    // Any notice means a change; what it says is not needed, the list is
    // read whole. The notices are drained so that the next ask is quiet.
    std::array<std::uint8_t, 4096> notice;
    for (int reads = 0; reads < MaxNoticesDrained; ++reads) {
        const ssize_t length = ::recv(changes_.get(), notice.data(), notice.size(), MSG_DONTWAIT);
        if (length < 0) {
            const int error = errno;
            // ENOBUFS: notices were lost, so something changed.
            return reads > 0 || error == ENOBUFS;
        }
    }
    return true;
}

void LocalAddresses::read() {
    readAt_ = clock_.nanoseconds();
    addresses_.clear();
    ifaddrs* list = nullptr;
    readWhole_ = ::getifaddrs(&list) == 0;
    if (!readWhole_) {
        return;
    }
    for (const ifaddrs* entry = list; entry != nullptr; entry = entry->ifa_next) {
        if (entry->ifa_addr != nullptr && entry->ifa_addr->sa_family == AF_INET) {
            const auto* address = reinterpret_cast<const sockaddr_in*>(entry->ifa_addr);
            addresses_.push_back(address->sin_addr.s_addr);
        }
    }
    ::freeifaddrs(list);
}

}  // namespace corvane
