#pragma once

#include <cstdint>

#include "net/NetTypes.h"
#include "proxy/ProxyServices.h"
#include "proxy/QueriesInFlight.h"

namespace corvane {

// A link that is opened only when a query needs it (TCP's): asked for it
// once the filter has let a query through, so a query it stops opens
// nothing. 0 when no link can be had.
class UpstreamOnDemand {
public:
    virtual ConnectionId linkForQuery(const ProxyServices& s) = 0;

protected:
    ~UpstreamOnDemand() = default;
};

// Who asked, where the query goes, and by which transport both go. With
// onDemand set, the query goes where it says, and upstream is not used.
struct QueryRoute {
    ConnectionId client = 0;
    ConnectionId upstream = 0;
    Transport transport = Transport::Datagram;
    UpstreamOnDemand* onDemand = nullptr;
};

// Handles one datagram from a client, held in buffer[0, length) and
// rewritten in place: offers its question names to the filter, then by the
// first verdict other than Forward (corvane/filter.h) drops it (Block) or
// answers at once that the name does not exist (BlockReply,
// makeNameErrorReply); otherwise, and for any value a filter should not
// return, forwards it upstream under a free transaction number nobody can
// foresee (freeUpstreamNumber) and records it in q with the digest of its
// question. Each outcome but a failed forward writes one log line. A datagram
// shorter than 12 bytes is ignored.
// A UDP client left with nothing in flight has its ConnectionId closed; a TCP
// client's connection stays open, its session's to close.
void handleQuery(QueriesInFlight& q, std::uint8_t* buffer, std::int32_t length,
                 const QueryRoute& route, const ProxyServices& s);

// The same for a datagram from a UDP client.
inline void handleQuery(QueriesInFlight& q, std::uint8_t* buffer, std::int32_t length,
                        ConnectionId client, ConnectionId upstream, const ProxyServices& s) {
    handleQuery(q, buffer, length, QueryRoute{client, upstream, Transport::Datagram}, s);
}

}  // namespace corvane
