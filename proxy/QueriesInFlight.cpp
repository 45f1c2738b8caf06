#include "proxy/QueriesInFlight.h"

#include "proxy/KeyText.h"

namespace corvane {

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

void retireQuery(QueriesInFlight& q, const ProxyServices& s) {
    const PendingQuery* record = q.pendingQueries.current();
    if (record == nullptr) {
        return;
    }
    // Only clientRefs is touched in between, so the record is still current.
    releaseInFlight(q, record->client, true, s);
    q.pendingQueries.deleteCurrent();
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
