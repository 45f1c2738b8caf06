#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "attribution/Asker.h"
#include "attribution/AskerStore.h"
#include "attribution/ClientEndpoint.h"

namespace corvane {

// Who asked the queries of the log view's latest lines: the askers of the
// last `capacity` lines that came with one, each under a serial number that
// its line keeps. The view keeps fewer lines than that, so every line it
// shows finds its asker; a serial older than the last `capacity` finds none,
// never another line's. An asker whose lookup had not settled takes the
// answer when it comes (settle). Storage is reused line after line.
class LineAskers {
public:
    explicit LineAskers(std::size_t capacity);

    // Keeps a new line's asker: its serial, never 0; 0 when it could not be
    // kept.
    std::uint64_t add(const ClientKey& client, const Asker& asker);
    void settle(const ClientKey& client, const Asker& asker) { store_.settle(client, asker); }

    // The asker and client of the line with serial; null for 0 or a serial
    // no longer kept.
    const Asker* asker(std::uint64_t serial) const { return store_.asker(handleOf(serial)); }
    const ClientKey* client(std::uint64_t serial) const { return store_.client(handleOf(serial)); }

private:
    AskerStore::Handle handleOf(std::uint64_t serial) const;

    AskerStore store_;
    // The handle of serial s sits at s % capacity, for the latest serials.
    std::vector<AskerStore::Handle> ring_;
    std::uint64_t nextSerial_ = 1;
};

}  // namespace corvane
