#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "attribution/Asker.h"
#include "attribution/ClientEndpoint.h"

namespace corvane {

// Askers kept beside what outlives the turn of their lookup: a query in
// flight, whose answer's line names the asker of the query, or a line of
// the log view while it is shown. Each is kept under a handle, with the
// client it is about.
//
// An asker whose lookup had not settled waits for the engine's delivery by
// its client's key (AskerSink): settle hands the answer to every entry of
// that client still waiting, however many lines or queries share the
// lookup. A settled entry never changes again, so a later lookup of the
// same client (another socket, maybe another program, on the same port)
// cannot rewrite what an earlier line said.
//
// Entries are reused, each keeping its program text's storage for the
// next: a store in steady use allocates nothing. Handles are reused too:
// a holder must release its handle exactly once and not use it after.
// Single-threaded, like the loop.
class AskerStore {
public:
    using Handle = std::uint32_t;
    static constexpr Handle NoHandle = 0;

    // A new entry, settled or waiting as asker says; NoHandle when no memory
    // is left for it.
    Handle keep(const ClientKey& client, const Asker& asker);
    // Gives the entry up; NoHandle and unknown handles are ignored.
    void release(Handle handle);

    // The entry's asker and client; null for NoHandle or a released handle.
    const Asker* asker(Handle handle) const;
    const ClientKey* client(Handle handle) const;

    // The settled answer of client's lookup: every entry of it still
    // waiting takes it and is settled.
    void settle(const ClientKey& client, const Asker& asker);

    std::size_t size() const { return size_; }
    std::size_t waiting() const { return waitingCount_; }

private:
    struct Entry {
        ClientKey client;
        Asker asker;
        bool used = false;
        // The other entries waiting for the same client's lookup.
        Handle previous = NoHandle;
        Handle next = NoHandle;
    };

    Entry* find(Handle handle);
    const Entry* find(Handle handle) const;
    Handle takeEntry();
    void wait(Handle handle, Entry& entry);
    void stopWaiting(Entry& entry);

    std::vector<Entry> entries_;  // the entry of handle h is entries_[h - 1]
    std::vector<Handle> free_;
    // The first waiting entry of each client whose lookup has not settled.
    std::unordered_map<ClientKey, Handle, ClientKeyHash> waitingFirst_;
    std::size_t size_ = 0;
    std::size_t waitingCount_ = 0;
};

}  // namespace corvane
