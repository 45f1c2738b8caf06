#pragma once

#include <sys/epoll.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "net/UniqueFd.h"

namespace corvane {

// What the layer knows of one socket's readiness: what it asked the set to
// watch, and what the last look found. The set holds no pointer to it: a
// look names each socket by the token it was watched under, and the layer
// finds the record again (a socket closed meanwhile is then simply gone).
struct Readiness {
    // The events the set watches for the socket (ReadySet::Input, Output);
    // 0 while it is not in the set.
    std::uint32_t watched = 0;
    bool inSet = false;
    // What the look numbered `look` reported, less what has since been found
    // used up (a read that would block).
    std::uint32_t events = 0;
    std::uint64_t look = 0;
};

// The layer's one source of readiness: an epoll set, level-triggered, that
// every socket joins when it opens and leaves when it closes. A look asks
// the system once which sockets can make progress, for all of them; between
// looks, polls answer from what the last one found, so a poll with nothing
// to do costs no system call. The descriptor is readable whenever a socket
// of the set is ready, so that a wait for more than the network (the window
// system's) can include it.
class ReadySet {
public:
    // The events, as epoll names them.
    static constexpr std::uint32_t Input = EPOLLIN;
    static constexpr std::uint32_t Output = EPOLLOUT;
    static constexpr std::uint32_t Failed = EPOLLERR | EPOLLHUP;

    // One socket a look found ready, by the token it was watched under.
    struct Found {
        std::uint64_t token = 0;
        std::uint32_t events = 0;
    };

    ReadySet() = default;
    ReadySet(const ReadySet&) = delete;
    ReadySet& operator=(const ReadySet&) = delete;

    // Makes the epoll set; false when the system gives none.
    bool open();
    bool isOpen() const { return static_cast<bool>(epoll_); }
    int descriptor() const { return epoll_.get(); }

    // Has the set watch fd for events (0: only for errors and hang-ups,
    // which the system always reports), under token. Adds it on the first
    // call, changes it when events differ from what is watched, and costs
    // nothing otherwise. False when the system refused; the socket is then
    // watched as before (or not at all, after a refused add).
    bool watch(int fd, std::uint64_t token, std::uint32_t events, Readiness& readiness);
    // Takes fd out of the set. Called before the socket is closed: another
    // process may briefly share the socket (a helper started by fork), and
    // the set would go on reporting it under its old token.
    void forget(int fd, Readiness& readiness);

    // One look: waits at most timeoutMs (0: not at all; negative values
    // count as 0) until a socket is ready, and returns the sockets found
    // ready, every one of them. Empty when none was, when a signal ended the
    // wait, or on failure. Valid until the next look.
    std::span<const Found> look(int timeoutMs);
    // What the last look found (the span it returned).
    std::span<const Found> found() const { return found_; }

    // What the last look found for a socket and is not used up yet.
    std::uint32_t reported(const Readiness& readiness) const {
        return readiness.look == lookNumber_ ? readiness.events : 0;
    }
    // Records a look's finding for a socket (the layer calls it for each
    // socket of the look's result).
    void record(Readiness& readiness, std::uint32_t events) const {
        readiness.events = events;
        readiness.look = lookNumber_;
    }
    // A read or accept found nothing after all: until the next look the
    // socket counts as not ready for these events.
    static void usedUp(Readiness& readiness, std::uint32_t events) { readiness.events &= ~events; }

private:
    UniqueFd epoll_;
    std::size_t watching_ = 0;
    std::vector<epoll_event> events_;
    std::vector<Found> found_;
    // Starts at 1, so that a record never looked at (look 0) is never current.
    std::uint64_t lookNumber_ = 1;
};

}  // namespace corvane
