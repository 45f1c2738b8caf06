#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <unordered_map>

#include "net/NetTypes.h"
#include "net/ReadySet.h"
#include "net/StreamRound.h"
#include "net/UniqueFd.h"

namespace corvane {

struct Peer;

// Key of a datagram client in its listener's peer index: its IPv4 address
// (network byte order) and its port.
inline std::uint64_t endpointKey(std::uint32_t address, std::uint16_t port) {
    return (std::uint64_t{address} << 16) | port;
}

// The token a listener's socket is watched under in the layer's ReadySet;
// peers are watched under their ConnectionId, which never has these bits.
inline std::uint64_t listenerToken(std::uint32_t number) {
    return (std::uint64_t{1} << 32) | number;
}

// One listening endpoint. It owns its peers: closing it releases them all.
struct Listener {
    UniqueFd socket;
    Readiness readiness;
    sockaddr_in boundAddress{};
    // The port the system bound it to (the one asked for, or the one it
    // picked for port 0): the local port its clients reach.
    std::uint16_t localPort = 0;
    std::uint16_t mode = NetMode::Datagram;
    std::uint16_t ipv6 = 0;
    std::uint32_t number = 0;  // the fixed number, or the handle for AnyNumber

    // The listener's peers. A datagram listener files them by sender address
    // and port: it holds at most one open peer per address and port, so a hash
    // lookup finds exactly the peer a newest-first walk of a list would, at a
    // cost that does not grow with the number of clients. A stream listener
    // files them by ConnectionId: each connection is a peer of its own, even
    // two from one address and port to two local addresses. The records
    // themselves live in the layer's table of open ConnectionIds.
    std::unordered_map<std::uint64_t, Peer*> peers;

    // Stream mode only: the round its polls are serving.
    StreamRound round;
    // Stream mode only, after an accept failed for want of a descriptor or
    // memory: no accept is tried before this reading of the layer's
    // monotonic clock (milliseconds). acceptFailing: the failure was
    // reported, and is not again until an accept has found the backlog empty.
    std::int64_t acceptRestsUntilMs = 0;
    bool acceptFailing = false;
};

}  // namespace corvane
