#pragma once

#include <cstddef>
#include <vector>

#include "net/NetTypes.h"

namespace corvane {

// One round of a stream listener's polls. A round begins from what the
// layer's last look at its sockets found (the listener's socket and every
// connection it accepted), without asking the system again; the sockets
// found ready are then served one per listenerPoll, in order, until the
// round is used up and the next one begins. So every ready connection gets
// its turn before any gets a second one, and a listener with many
// connections costs no system call for those with nothing to do.
struct StreamRound {
    // Still to be served in this round: peer ids, and 0 for one accept.
    std::vector<ConnectionId> ready;
    std::size_t next = 0;

    bool usedUp() const { return next == ready.size(); }
};

}  // namespace corvane
