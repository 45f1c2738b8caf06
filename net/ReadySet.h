#pragma once

#include <sys/poll.h>

#include <cstddef>
#include <vector>

#include "net/UniqueFd.h"

namespace corvane {

// One descriptor that is readable while any socket of a set can make
// progress: an epoll set that mirrors a list of poll entries. Someone who
// waits for more than the network (the window system) can add this one
// descriptor to its own wait instead of every socket.
class ReadySet {
public:
    ReadySet() = default;
    ReadySet(const ReadySet&) = delete;
    ReadySet& operator=(const ReadySet&) = delete;

    // Makes the set watch exactly these entries (negative descriptors are
    // skipped). False when the set could not be made or brought up to date;
    // the caller then must not wait on it.
    bool watchOnly(const pollfd* entries, std::size_t count);
    // The epoll descriptor; -1 before the first successful watchOnly.
    int descriptor() const { return epoll_.get(); }

private:
    bool watch(const pollfd& entry);

    UniqueFd epoll_;
    // What the set was last told to watch.
    std::vector<int> watched_;
};

}  // namespace corvane
