#pragma once

#include <cstdint>

#include "net/NetTypes.h"
#include "proxy/ProxyServices.h"
#include "proxy/QueriesInFlight.h"

namespace corvane {

// Handles one datagram from a client, held in buffer[0, length) and
// rewritten in place: offers its question names to the filter, then by the
// first verdict other than Forward (corvane/filter.h) drops it (Block) or
// answers with the bare header (BlockReply); otherwise, and for any value a
// filter should not return, forwards it upstream under the next transaction
// number and records it in q. Each outcome but a failed forward
// writes one log line. A datagram shorter than 12 bytes is ignored.
// A client left with nothing in flight has its ConnectionId closed.
void handleQuery(QueriesInFlight& q, std::uint8_t* buffer, std::int32_t length, ConnectionId client,
                 ConnectionId upstream, const ProxyServices& s);

}  // namespace corvane
