#pragma once

#include <cstdint>

#include "net/NetTypes.h"
#include "proxy/ProxyServices.h"
#include "proxy/QueriesInFlight.h"

namespace corvane {

// Sends one DNS message, data[0, length), to a client or upstream: alone in a
// datagram, or behind its two-byte length on a stream, where the length and
// the message are taken together or not at all. True when all of it went out
// (or, on a stream, was queued). A reply to a TCP client is reported to
// s.streamReplies either way.
bool sendMessage(Transport transport, ConnectionId to, const std::uint8_t* data,
                 std::int32_t length, bool toClient, const ProxyServices& s);

}  // namespace corvane
