#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "net/NetTypes.h"
#include "net/UniqueFd.h"

namespace corvane {

struct Listener;

// The record behind a ConnectionId: one client of a listener, or the upstream
// link (no owner, a socket of its own). Datagram kind only; the layer opens
// nothing else.
struct Peer {
    ConnectionId id = 0;
    std::uint32_t kind = NetMode::Datagram;
    std::uint32_t remoteAddress = 0;  // IPv4, network byte order
    std::uint32_t remotePort = 0;     // host byte order, 0 to 65535
    Listener* owner = nullptr;        // not owned; none for the link
    UniqueFd socket;                  // the link's own socket; unused by client peers

    // The unread bytes are pending[readPosition, readPosition + unread). With
    // unread 0 nothing is pending; the vector is then empty but keeps its
    // capacity, so a busy peer does not allocate for every datagram.
    std::vector<std::uint8_t> pending;
    std::int32_t unread = 0;
    std::size_t readPosition = 0;

    // The local address the client's latest datagram was sent to. Replies leave
    // from it: a client that asked one of several local addresses only accepts
    // an answer from that same address.
    bool hasLocalAddress = false;
    in_addr localAddress{};
};

}  // namespace corvane
