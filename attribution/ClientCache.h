#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>

#include "attribution/Asker.h"
#include "attribution/ClientEndpoint.h"

namespace corvane {

// What the engine remembers of one client address and port after a settled
// lookup: the answer, and how it was found, so that the next lookup can check
// the same process first.
struct CachedAsker {
    Asker asker;
    std::uint64_t inode = 0;      // the client's socket; 0 for another machine
    std::uint64_t startTime = 0;  // the process's, when asker names one
    int descriptor = -1;          // where the process held the socket
    std::int64_t checkedAt = 0;   // when this was read from the system (ns)
};

// The answers per client, trusted for a short time: a client that keeps its
// socket (most programs but the C library's resolver) is named without a
// single system call while its entry is younger than the trust time. An
// older entry is kept for a while after, as the first guess to check.
//
// Bounded: when full, entries past their trust time make room, at most once
// per trust time (so that a flood of new ports does not sweep at every
// query); while it stays full of trusted entries, new ones are not kept.
class ClientCache {
public:
    ClientCache(std::size_t capacity, std::int64_t trustNanoseconds);

    // The entry for client if it was checked less than the trust time before now.
    const CachedAsker* trusted(const ClientKey& client, std::int64_t now) const;
    // The entry for client, whatever its age.
    const CachedAsker* remembered(const ClientKey& client) const;
    void store(const ClientKey& client, const CachedAsker& entry, std::int64_t now);
    std::size_t size() const { return entries_.size(); }

private:
    void sweep(std::int64_t now);

    std::unordered_map<ClientKey, CachedAsker, ClientKeyHash> entries_;
    std::size_t capacity_;
    std::int64_t trust_;
    std::int64_t lastSweep_ = 0;
    bool swept_ = false;
};

}  // namespace corvane
