#pragma once

#include <cstdint>
#include <vector>

#include "attribution/MonotonicClock.h"
#include "net/UniqueFd.h"

namespace corvane {

// The IPv4 addresses of this machine's interfaces, kept fresh: a netlink
// socket subscribed to address changes says when to read them again, and
// without it (it could not be opened, or it lost messages) they are read
// again when a few seconds old. Reading them is rare; asking is a look into
// a short list and, for the subscription, one read that never waits.
class LocalAddresses {
public:
    explicit LocalAddresses(const MonotonicClock& clock);
    LocalAddresses(const LocalAddresses&) = delete;
    LocalAddresses& operator=(const LocalAddresses&) = delete;

    // address in network byte order.
    bool contains(std::uint32_t address);

private:
    bool changedSinceRead();
    void read();

    const MonotonicClock& clock_;
    UniqueFd changes_;
    std::vector<std::uint32_t> addresses_;
    std::int64_t readAt_ = 0;
    bool readWhole_ = false;  // false after a failed read: read again at the next ask
};

}  // namespace corvane
