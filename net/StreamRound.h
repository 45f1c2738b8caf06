#pragma once

#include <poll.h>

#include <cstddef>
#include <vector>

#include "net/NetTypes.h"

namespace corvane {

// One round of a stream listener's polls. A round begins with one poll(2)
// over the listener's socket and every connection it accepted, without
// waiting; the sockets it found ready are then served one per listenerPoll,
// in order, until the round is used up and the next poll begins another.
// So every ready connection gets its turn before any gets a second one, and
// a listener with many connections costs one system call per round rather
// than one receive per connection per turn.
struct StreamRound {
    // Scratch for the poll, kept for the next round: ids[i] names the peer of
    // fds[i], 0 the listener's own socket.
    std::vector<pollfd> fds;
    std::vector<ConnectionId> ids;
    // Still to be served in this round: peer ids, and 0 for one accept.
    std::vector<ConnectionId> ready;
    std::size_t next = 0;

    bool usedUp() const { return next == ready.size(); }
};

}  // namespace corvane
