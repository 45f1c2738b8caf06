#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "attribution/AskerStore.h"
#include "net/NetTypes.h"
#include "proxy/HeldNumbers.h"
#include "proxy/ProxyServices.h"
#include "proxy/RandomStream.h"
#include "proxy/SipHash.h"
#include "proxy/TextKeyedTable.h"

namespace corvane {

// How a client reached the proxy, and so how its query went upstream and its
// answer goes back: UDP datagrams, or DNS messages behind their two-byte
// lengths on a TCP connection.
enum class Transport : std::uint8_t { Datagram, Stream };

// One forwarded query, filed under the transaction number it went upstream
// with, until its answer comes or it is retired without one.
struct PendingQuery {
    ConnectionId client;                     // who asked
    std::array<std::uint8_t, 2> clientTxId;  // bytes 0-1 as the client sent them
    std::int64_t stamp;                      // localSeconds when sent upstream
    // The link the query went out on: only an answer taken from that link
    // can retire it, so a datagram cannot answer a query sent over TCP.
    ConnectionId upstream;
    Transport transport;
    // The digest of its question section (questionDigest): an answer is
    // taken only if it asks the same; none when the query's own section could
    // not be read whole, and then no answer is taken.
    std::optional<std::uint64_t> question;
    // Who asked it, in QueriesInFlight::askers, for its answer's line;
    // AskerStore::NoHandle when queries are not attributed.
    AskerStore::Handle asker;
};

// One client with queries in flight, filed under its ConnectionId. The
// client's peer stays open while inFlight is not 0 so that answers can reach it.
//
// inFlight is 32 bits wide so that it never wraps: one client can hold at most
// one query per transaction number, 65536 in all. A 16-bit count would read 0
// at 65536 queries in flight, and a blocked or runt datagram from that client
// would then close its peer while 65536 answers were still due, each of them
// later sent to a ConnectionId that may by then name another client.
struct ClientRef {
    ConnectionId handle;    // the value closed when inFlight comes back to 0
    std::int32_t inFlight;  // forwarded and not yet retired
    // A UDP client's peer is closed when inFlight comes back to 0; a TCP
    // client's connection belongs to its session and stays open.
    Transport transport;
};

// The memory of queries in flight, owned by the main loop for the whole run.
//
// heldNumbers holds exactly the numbers pendingQueries files records under:
// a number is taken when its record is filed (the query path) and released
// when it is retired (retireQuery), and by nothing else.
struct QueriesInFlight {
    // The generator of upstream numbers starts from seed, and the key of the
    // question digests is its first draw.
    explicit QueriesInFlight(const RandomSeed& seed);

    TextKeyedTable<PendingQuery> pendingQueries;
    TextKeyedTable<ClientRef> clientRefs;
    HeldNumbers heldNumbers;
    RandomStream random;
    SipHashKey questionKey;
    // The askers of the queries in flight, each released with its record.
    AskerStore askers;
};

// Seconds after which the expiry pass forgets a query; the main loop runs the
// pass every 45 seconds or more.
inline constexpr std::int64_t QueryLifetimeSeconds = 30;

// Retires the current record of pendingQueries: its asker is released, its
// client's inFlight falls by one, and at 0 the client's ConnectionId is closed and its ClientRef
// removed (unless the client is keepOpen, whose ClientRef then stays at 0 for
// a query about to be counted); then the record itself is removed and its
// number freed. Does nothing without a current record.
void retireQuery(QueriesInFlight& q, const ProxyServices& s, ConnectionId keepOpen = 0);

// The upstream number for a query of client about to go out: one that no
// query in flight holds, drawn so that nobody can foresee it. When every
// number is held (a flood against a silent upstream), the oldest query in
// flight is retired to free one, without a word, as the expiry pass would
// have done later; client's own ConnectionId stays open for the query it
// sends. The number is taken when the query's record is filed.
std::uint16_t freeUpstreamNumber(QueriesInFlight& q, ConnectionId client, const ProxyServices& s);

// Takes one query of client off its ClientRef; a client without one is left
// alone. When the count comes to 0 and
// closeAtZero is set, the client's ConnectionId is closed and its ClientRef
// removed; without closeAtZero the ClientRef stays, at 0, for a caller that is
// about to count a new query of the same client.
void releaseInFlight(QueriesInFlight& q, ConnectionId client, bool closeAtZero,
                     const ProxyServices& s);

// Retires, as retireQuery does, every record for which match(record) holds.
template <typename Match>
void retireWhere(QueriesInFlight& q, const ProxyServices& s, Match match) {
    q.pendingQueries.resetWalk();
    while (const PendingQuery* record = q.pendingQueries.nextInWalk()) {
        if (match(*record)) {
            retireQuery(q, s);
        }
    }
}

// Forgets, without a log line or a reply, every query stamped 30 seconds or
// more away from the clock (either way, so a clock set back counts too).
void expiryPass(QueriesInFlight& q, const ProxyServices& s);

}  // namespace corvane
