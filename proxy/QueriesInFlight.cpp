#include "proxy/QueriesInFlight.h"

#include <optional>

#include "proxy/KeyText.h"

namespace corvane {

QueriesInFlight::QueriesInFlight(const RandomSeed& seed) : random(seed) {
    questionKey.k0 = random.next64();
    questionKey.k1 = random.next64();
}

void releaseInFlight(QueriesInFlight& q, ConnectionId client, bool closeAtZero,
                     const ProxyServices& s) {
    const KeyText key = clientKey(client);
    // Only a counted client is counted down: a lookup that added a missing
    // record would leave one at -1 that nothing ever removes.
    ClientRef* ref = q.clientRefs.find(key.view());
    if (ref == nullptr) {
        return;
    }
    ref->inFlight = ref->inFlight - 1;
    if (ref->inFlight == 0 && closeAtZero) {
        if (ref->transport == Transport::Datagram) {
            s.net.connClose(ref->handle);
        }
        q.clientRefs.deleteCurrent();
    }
}

void retireQuery(QueriesInFlight& q, const ProxyServices& s, ConnectionId keepOpen) {
    const PendingQuery* record = q.pendingQueries.current();
    if (record == nullptr) {
        return;
    }
    q.askers.release(record->asker);
    // Only clientRefs is touched in between, so the record is still current.
    releaseInFlight(q, record->client, record->client != keepOpen, s);
    if (const std::optional<std::uint16_t> number =
            transactionNumberOf(q.pendingQueries.currentKey())) {
        q.heldNumbers.release(*number);
    }
    q.pendingQueries.deleteCurrent();
}

std::uint16_t freeUpstreamNumber(QueriesInFlight& q, ConnectionId client, const ProxyServices& s) {
    if (const std::optional<std::uint16_t> number = q.heldNumbers.drawFree(q.random)) {
        return *number;
    }
    // Every number is held, so there is an oldest, and its record is filed
    // under it.
    const std::uint16_t oldest = *q.heldNumbers.oldest();
    if (q.pendingQueries.find(transactionKey(oldest).view()) != nullptr) {
        retireQuery(q, s, client);
    }
    q.heldNumbers.release(oldest);
    return oldest;
}

void expiryPass(QueriesInFlight& q, const ProxyServices& s) {
    retireWhere(q, s, [&s](const PendingQuery& record) {
        // Read afresh for every record: a long pass must not judge late
        // records by the time it started.
        const std::int64_t now = s.clock.localSeconds();
        const std::uint64_t age =
            now >= record.stamp
                ? static_cast<std::uint64_t>(now) - static_cast<std::uint64_t>(record.stamp)
                : static_cast<std::uint64_t>(record.stamp) - static_cast<std::uint64_t>(now);
        return age >= static_cast<std::uint64_t>(QueryLifetimeSeconds);
    });
}

}  // namespace corvane
