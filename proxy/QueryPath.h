#pragma once

#include <cstdint>

#include "net/NetTypes.h"
#include "proxy/ProxyServices.h"  // FilterQueryFn, ProxyServices
#include "proxy/QueriesInFlight.h"

namespace corvane {

// What the filter decides for a query. Any other value the plug-in returns
// is taken as Forward.
enum class Verdict : std::int32_t {
    Forward = 0,
    Block = 1,       // drop without a reply
    BlockReply = 2,  // answer at once with the bare 12-byte header
};

// Handles one datagram from a client, held in buffer[0, length) and
// rewritten in place: offers its question names to the filter, then forwards
// it upstream under the next transaction number and records it in q, drops
// it, or answers with the bare header. Each outcome but a failed forward
// writes one log line. A datagram shorter than 12 bytes is ignored.
// A client left with nothing in flight has its ConnectionId closed.
void handleQuery(QueriesInFlight& q, std::uint8_t* buffer, std::int32_t length, ConnectionId client,
                 ConnectionId upstream, const ProxyServices& s);

}  // namespace corvane
